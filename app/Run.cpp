#include "app/Run.h"

#include <algorithm>

#include "Network/Buffer.h"
#include "Network/Clock.h"
#include "Network/Platform.h"
#include "Network/UDPV4.h"
#include "app/Discovery.h"

namespace webfind {

namespace {

using BRIVO::Buffer;
using BRIVO::IPAddress;

// One datagram as the run handles it, wherever its bytes are held.
struct Datagram {
    DatagramBytes bytes;
    IPAddress source;  // IPv4-mapped, port field 0
    uint16_t sourcePort;
};

// What one receive brought.
enum class Received {
    NOTHING,  // the wait passed
    SOME,     // one or a few datagrams, each handled
    CROWD,    // many at once: worth a nap before the next wait
    FAILED,   // the socket failed; the message is printed
};

void say(std::ostream& out, const char* message) { out << message << '\n' << std::flush; }

BRIVO::Clock clockOf(Milliseconds wait) {
    return BRIVO::Clock(static_cast<uint32_t>(std::chrono::microseconds(wait).count()));
}

class Run {
public:
    Run(const RunSettings& settings, std::ostream& out) : settings(settings), out(out), os(BRIVO::platform()) {}

    int go(const Presenter& present) {
        if (!setUp() || !probe() || !collectUntilQuiet()) return EXIT_SOCKET_FAILURE;
        if (settings.log && devices.empty()) note("no device answered (probed " + probedVia() + ")");
        report.devices = devices.size();
        present(devices);
        return EXIT_DONE;
    }

    RunReport report;

private:
    bool setUp() {
        if (!endpoint.open(BRIVO::SocketV4::UDP_BROADCAST)) {
            say(out, "Socket Open Err");
            report.failed = RunReport::OPEN;
            return false;
        }
        if (!endpoint.bindV4(IPAddress(0, 0, 0, 0, settings.localPort))) {
            say(out, "Socket Bind Err");
            report.failed = RunReport::BIND;
            return false;
        }
        // Every device answers at once; a larger queue keeps their answers
        // from being dropped while we are busy. Best effort.
        endpoint.setReceiveBuffer(RECEIVE_BUFFER_BYTES);
        return true;
    }

    // Three probes, with answers taken during the pauses between them
    // instead of piling up in the receive queue, where a full queue would
    // drop them. No pause follows the last probe.
    bool probe() {
        Buffer probeBytes;
        buildProbe(probeBytes);
        for (uint32_t round = 0; round < PROBE_COUNT; ++round) {
            if (!sendRound(probeBytes)) {
                say(out, "Socket Send Err");
                report.failed = RunReport::SEND;
                return false;
            }
            if (round + 1 < PROBE_COUNT && !listenUntil(now() + PROBE_PAUSE)) return false;
        }
        return true;
    }

    bool sendRound(const Buffer& probeBytes) {
        if (settings.interfaces.empty()) {
            logProbe("the system's default interface");
            return endpoint.sendTo(probeBytes, DISCOVERY_GROUP, DISCOVERY_PORT);
        }
        for (const ProbeInterface& via : settings.interfaces) {
            logProbe(via.name + " (" + dottedQuad(via.address) + ")");
            if (!endpoint.setMulticastInterface(via.address)) return false;
            if (!endpoint.sendTo(probeBytes, DISCOVERY_GROUP, DISCOVERY_PORT)) return false;
        }
        return true;
    }

    // Takes datagrams as they come until `deadline`. False when the socket
    // failed.
    bool listenUntil(Milliseconds deadline) {
        for (Milliseconds left; (left = deadline - now()) > Milliseconds::zero();) {
            switch (receive(left)) {
            case Received::FAILED: return false;
            case Received::CROWD: napInCrowd(left); break;
            case Received::NOTHING:
            case Received::SOME: break;
            }
        }
        return true;
    }

    // Takes datagrams until a whole quiet wait passes with none, or until the
    // collecting limit. False when the socket failed.
    bool collectUntilQuiet() {
        const Milliseconds deadline = now() + settings.collectLimit;
        // What is left of the quiet wait that began with the last datagram.
        Milliseconds quiet = settings.quietWait;
        for (Milliseconds left; (left = deadline - now()) > Milliseconds::zero();) {
            const Milliseconds wait = std::min(left, quiet);
            switch (receive(wait)) {
            case Received::FAILED: return false;
            case Received::NOTHING:
                // A wait cut short by the limit ends through the loop's test.
                if (wait == quiet) return true;
                break;
            case Received::SOME: quiet = settings.quietWait; break;
            case Received::CROWD:
                // The nap counts as part of the quiet wait, which still ends on time.
                quiet = settings.quietWait - napInCrowd(settings.quietWait);
                break;
            }
        }
        return true;
    }

    // Waits at most `wait` for a datagram; handles it and every datagram
    // already waiting behind it.
    Received receive(Milliseconds wait) {
        BRIVO::Clock limit = clockOf(wait);
        IPAddress source;
        uint16_t sourcePort = 0;
        switch (endpoint.receiveFrom(buffer, source, sourcePort, limit)) {
        case BRIVO::FAIL:
            say(out, "Socket Receive Err");
            report.failed = RunReport::RECEIVE;
            return Received::FAILED;
        case BRIVO::TIMEOUT: return Received::NOTHING;
        case BRIVO::DISCARDED:
            // Any host can send one; it must not end the run.
            ++report.datagrams;
            noteDiscarded();
            return Received::SOME;
        case BRIVO::RECEIVED: break;
        }
        handle(Datagram{{buffer.data(), buffer.size()}, source, sourcePort});
        // Many devices answer at once: take what is already waiting in
        // batches before waiting again.
        long taken = takeWaiting();
        if (taken < 0) {
            say(out, "Socket Receive Err");
            report.failed = RunReport::RECEIVE;
            return Received::FAILED;
        }
        return taken >= CROWD ? Received::CROWD : Received::SOME;
    }

    // In a crowd, waking for every few datagrams costs more than the
    // datagrams; a short nap lets the queue fill for whole batches. Naps only
    // when `left` has room for it; returns how long it slept.
    Milliseconds napInCrowd(Milliseconds left) {
        if (left <= CROWD_NAP) return Milliseconds::zero();
        os.sleepMs(static_cast<uint32_t>(CROWD_NAP.count()));
        return CROWD_NAP;
    }

    // The number of datagrams taken, or -1 when the receive failed.
    long takeWaiting() {
        long taken = 0;
        for (;;) {
            if (!endpoint.receiveWaiting(batch)) return -1;
            taken += static_cast<long>(batch.count());
            for (size_t i = 0; i < batch.count(); ++i) {
                if (!batch.deliverable(i)) {
                    ++report.datagrams;
                    noteDiscarded();
                    continue;
                }
                IPAddress source;
                batch.source(i, source);
                handle(Datagram{{batch.data(i), batch.length(i)}, source, batch.sourcePort(i)});
            }
            if (batch.count() < BATCH_SIZE) return taken;
        }
    }

    void handle(const Datagram& datagram) {
        ++report.datagrams;
        // A repeat from a known address costs one lookup: its content cannot
        // change the table (the first valid answer wins).
        auto place = devices.lower_bound(datagram.source);
        if (place != devices.end() && place->first == datagram.source) {
            if (settings.log) {
                AnswerVerdict v = judgeAnswer(datagram.bytes, name, url);
                logDatagram(datagram, v == AnswerVerdict::ACCEPTED ? "duplicate of an earlier answer"
                                                                   : std::string("rejected: ") + verdictText(v));
            }
            return;
        }
        AnswerVerdict verdict = judgeAnswer(datagram.bytes, name, url);
        if (verdict != AnswerVerdict::ACCEPTED) {
            if (settings.log) logDatagram(datagram, std::string("rejected: ") + verdictText(verdict));
            return;
        }
        if (devices.size() >= settings.maxDevices) {
            if (settings.log && !tableFullNoted)
                note("device table full (" + std::to_string(settings.maxDevices) +
                     " devices); answers from further addresses are ignored");
            tableFullNoted = true;
            return;
        }
        devices.emplace_hint(place, datagram.source, std::make_pair(name, url));
        if (settings.log) logDatagram(datagram, "accepted");
    }

    Milliseconds now() const { return Milliseconds(os.nowMs()); }

    void noteDiscarded() {
        if (settings.log)
            note("datagram discarded: empty or longer than " + std::to_string(BRIVO::MAX_DATAGRAM_SIZE) + " bytes");
    }
    std::string probedVia() const {
        if (settings.interfaces.empty()) return "via the system's default interface";
        std::string via = "via";
        for (const ProbeInterface& i : settings.interfaces) via += " " + i.name + " (" + dottedQuad(i.address) + ")";
        return via;
    }
    void note(const std::string& text) { *settings.log << "webfind: " << text << '\n' << std::flush; }
    void logProbe(const std::string& via) {
        if (settings.log)
            note("probe to " + dottedQuad(DISCOVERY_GROUP.address + 12) + ":" + std::to_string(DISCOVERY_PORT) +
                 " via " + via);
    }
    void logDatagram(const Datagram& d, const std::string& verdict) {
        note(dottedQuad(d.source.address + 12) + ":" + std::to_string(d.sourcePort) + " " +
             std::to_string(d.bytes.size) + " bytes: " + verdict);
    }

    static constexpr size_t BATCH_SIZE = 64;
    static constexpr long CROWD = 8;
    static constexpr Milliseconds CROWD_NAP{1};

    const RunSettings& settings;
    std::ostream& out;
    const BRIVO::Platform& os;
    // Constructed in the order the run needs them; destroyed in reverse.
    BRIVO::UDPV4 endpoint;
    Buffer buffer;  // each datagram that receiveFrom delivers
    BRIVO::DatagramBatch batch{BATCH_SIZE};
    DeviceTable devices;
    std::string name, url;  // scratch for judging, reused to spare allocations
    bool tableFullNoted = false;
};

}  // namespace

int runDiscovery(const RunSettings& settings, std::ostream& out, const Presenter& present, RunReport* report) {
    Run run(settings, out);
    int status = run.go(present);
    if (report) *report = run.report;
    return status;
}

}  // namespace webfind
