#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>

#include "Network/DatagramBatch.h"
#include "Network/UDPV4.h"
#include "app/discovery/Datagram.h"
#include "app/discovery/Failure.h"
#include "app/discovery/Log.h"
#include "app/discovery/Settings.h"

namespace webfind {

// The socket work of discovery, shared by the single run and watch mode:
// the endpoint, the probes, and listening in rounds. Every datagram goes to
// the sink (the intake); what it holds is the sink's business. It writes nothing but
// the probe lines of the verbose log; callers report failures (failedStep()).
class Session {
public:
    // `interrupted`, when given, is asked between waits, which then last at
    // most STOP_CHECK, or, with a `wake` descriptor that becomes readable on
    // a stop request, until the next thing happens. At `stopAt` the
    // listening ends in any case.
    Session(SessionSettings settings, DatagramSink& sink, const VerboseLog& log,
            std::function<bool()> interrupted = nullptr, Milliseconds stopAt = Milliseconds::max(), intptr_t wake = -1);

    // Starts the socket layer (on first use in the process), then opens and
    // binds the endpoint.
    bool open();
    // The probes, `probePause` apart, with answers taken during the pauses
    // instead of piling up in the receive queue, where a full queue would
    // drop them. No pause follows the last probe.
    bool probe();
    // One probe out of each interface (or where the routing sends it).
    bool sendProbe();
    // Takes answers until `deadline`.
    bool listenUntil(Milliseconds deadline);
    // Takes answers until a whole quiet wait passes with none, or until the
    // collecting limit.
    bool collectUntilQuiet();
    // Each returns false when the socket failed, and true early once the
    // sink is done or a stop was requested.

    // Takes nothing until `deadline` (after a failure), waking to check for
    // a stop request.
    void pauseUntil(Milliseconds deadline);

    // True once the sink said it is done, a stop was requested or `stopAt`
    // passed.
    bool finished() const { return done; }
    Milliseconds now() const;
    // The step whose failure ended the last call; NONE when none failed.
    SocketStep failedStep() const { return failure; }
    // Why it failed, as the system said.
    const FailureReason& failureReason() const { return reason; }
    void clearFailure() {
        failure = SocketStep::NONE;
        reason = FailureReason();
    }
    // True for an answer's source that was probed: a target, or an address
    // on the subnet of an interface probed through. Without targets, every
    // source (the group reaches who it reaches).
    bool probed(const Address& source) const;
    // From now on every target is probed again, those heard from too (a
    // watch's new round).
    void forgetHeard() { settled.assign(settled.size(), false); }
    // Targets that said "port unreachable" (where the system tells).
    size_t refusedByTargets() const { return refused.size(); }
    // "via ..." for the verbose log: the interfaces probed.
    std::string probedVia() const;
    // From the next probe on, through these (a watch follows its
    // interfaces as they change).
    void useInterfaces(std::vector<Link> interfaces) { settings.interfaces = std::move(interfaces); }

    static constexpr Milliseconds STOP_CHECK{200};

private:
    enum class Received;

    bool sendThrough(const Link& via);
    bool sendToTargets();
    bool takeUnreachable();
    // Marks a target as heard from (false for an address that is none).
    bool settle(const Address& target);
    Received receive(Milliseconds wait);
    bool deliverBatch();
    // `wait`, shortened so that a stop request or `stopAt` is seen in time.
    Milliseconds capped(Milliseconds wait) const;
    Milliseconds napInCrowd(Milliseconds left);
    bool checkStop();
    bool fail(SocketStep step);

    static constexpr size_t BATCH_SIZE = 64;
    // More than this many datagrams at once make a crowd.
    static constexpr size_t CROWD = 8;
    static constexpr Milliseconds CROWD_NAP{1};

    SessionSettings settings;
    BRIVO::Buffer probeBytes;
    DatagramSink& sink;
    const VerboseLog& log;
    std::function<bool()> interrupted;
    Milliseconds stopAt;
    BRIVO::Handle wake;
    // Made by open(): constructing it starts the socket layer, which may fail.
    std::optional<BRIVO::UDPV4> endpoint;
    BRIVO::DatagramBatch batch{BATCH_SIZE};
    SocketStep failure = SocketStep::NONE;
    FailureReason reason;
    bool done = false;
    std::set<Address> refused;
    std::vector<bool> settled;     // by target: answered or refused, probed no more
    size_t targetProbes = 0;       // sent to targets in the rounds before this one
    Milliseconds lastProgress{0};  // targets that said "port unreachable"
};

}  // namespace webfind
