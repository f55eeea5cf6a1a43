#pragma once

#include <functional>
#include <string>

#include "Network/Buffer.h"
#include "Network/DatagramBatch.h"
#include "Network/IPAddress.h"
#include "Network/Platform.h"
#include "Network/UDPV4.h"
#include "app/Discovery.h"
#include "app/Run.h"

namespace webfind {

// What becomes of a valid answer that a handler took.
enum class Take {
    KEPT,  // kept; go on listening
    FULL,  // not kept: the handler holds as many devices as it may
    DONE,  // kept; stop listening at once
};

// What a session does with answers. `wanted` says whether an answer from
// `source` could still matter: a repeat that cannot change anything is not
// even judged. `take` gets each valid answer that was wanted.
struct AnswerHandler {
    std::function<bool(const BRIVO::IPAddress& source)> wanted;
    std::function<Take(const BRIVO::IPAddress& source, const std::string& name, const std::string& url)> take;
};

// The socket work of discovery, shared by the single run and watch mode:
// the endpoint, the probes, and the loops that take answers. It prints
// nothing but the verbose log; callers report failures (report().failed).
class Session {
public:
    // `interrupted`, when given, is asked between waits, which then last at
    // most STOP_CHECK: a stop request ends the listening soon. At `stopAt`
    // the listening ends in any case.
    Session(const RunSettings& settings, const AnswerHandler& handler, std::function<bool()> interrupted = nullptr,
            Milliseconds stopAt = Milliseconds::max());

    // Opens and binds the endpoint.
    bool open();
    // Three probes 100 ms apart, with answers taken during the pauses
    // instead of piling up in the receive queue, where a full queue would
    // drop them. No pause follows the last probe.
    bool probe();
    // Takes answers until `deadline`.
    bool listenUntil(Milliseconds deadline);
    // Takes answers until a whole quiet wait passes with none, or until the
    // collecting limit.
    bool collectUntilQuiet();
    // Each returns false when the socket failed, and true early once the
    // handler is done or a stop was requested.

    // Takes nothing until `deadline` (after a failure), waking to check for
    // a stop request.
    void pauseUntil(Milliseconds deadline);

    // True once the handler said DONE or `interrupted` said so.
    bool finished() const { return done; }
    Milliseconds now() const { return Milliseconds(os.nowMs()); }
    RunReport& report() { return runReport; }
    // Writes a line to the verbose log, when there is one.
    void note(const std::string& text);
    // The verbose log's "via ..." for the interfaces probed.
    std::string probedVia() const;

    static constexpr Milliseconds STOP_CHECK{200};

private:
    struct Datagram;
    enum class Received;

    bool sendRound(const BRIVO::Buffer& probeBytes);
    Received receive(Milliseconds wait);
    // `wait`, shortened so that a stop request or `stopAt` is seen in time.
    Milliseconds capped(Milliseconds wait) const;
    Milliseconds napInCrowd(Milliseconds left);
    long takeWaiting();
    void handle(const Datagram& datagram);
    bool checkStop();
    void noteDiscarded();
    void logProbe(const std::string& via);
    void logDatagram(const Datagram& d, const std::string& verdict);

    static constexpr size_t BATCH_SIZE = 64;
    static constexpr long CROWD = 8;
    static constexpr Milliseconds CROWD_NAP{1};

    const RunSettings& settings;
    AnswerHandler handler;
    std::function<bool()> interrupted;
    Milliseconds stopAt;
    const BRIVO::Platform& os;
    // Constructed in the order the run needs them; destroyed in reverse.
    BRIVO::UDPV4 endpoint;
    BRIVO::Buffer buffer;  // each datagram that receiveFrom delivers
    BRIVO::DatagramBatch batch{BATCH_SIZE};
    std::string name, url;  // scratch for judging, reused to spare allocations
    RunReport runReport;
    bool fullNoted = false;
    bool done = false;
};

// The message of a failed step, as the run prints it on standard output.
const char* failureMessage(RunReport::Step step);

}  // namespace webfind
