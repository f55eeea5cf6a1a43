#include "app/Run.h"

#include "Network/Buffer.h"
#include "Network/Clock.h"
#include "app/Discovery.h"
#include "Network/Platform.h"
#include "Network/UDPV4.h"

namespace webfind {

namespace {

using BRIVO::Buffer;
using BRIVO::IPAddress;
using BRIVO::UDPV4;

void say(std::ostream& out, const char* message) { out << message << '\n' << std::flush; }

class Run {
public:
    Run(const RunSettings& settings, std::ostream& out) : settings(settings), out(out), os(BRIVO::platform()) {}

    int go(const Presenter& present) {
        if (!setUp()) return EXIT_SOCKET_FAILURE;
        if (!probe()) return EXIT_SOCKET_FAILURE;
        if (!collect()) return EXIT_SOCKET_FAILURE;
        if (settings.log && devices.empty()) note("no device answered (probed " + probedVia() + ")");
        present(devices);
        return EXIT_DONE;
    }

private:
    bool setUp() {
        if (!endpoint.open(BRIVO::SocketV4::UDP_BROADCAST)) {
            say(out, "Socket Open Err");
            return false;
        }
        if (!endpoint.bindV4(IPAddress())) {
            say(out, "Socket Bind Err");
            return false;
        }
        // Every device answers at once; a larger queue keeps their answers
        // from being dropped while we are busy. Best effort.
        endpoint.setReceiveBuffer(RECEIVE_BUFFER_BYTES);
        return true;
    }

    bool probe() {
        buildProbe(buffer);
        Buffer probeBytes = buffer;  // the buffer also receives during the pauses
        for (uint32_t round = 0; round < PROBE_COUNT; ++round) {
            if (!sendRound(probeBytes)) {
                say(out, "Socket Send Err");
                return false;
            }
            // Answers are read during the pauses instead of piling up in the
            // receive queue, where a full queue would drop them.
            if (round + 1 < PROBE_COUNT && !receiveUntil(os.nowMs() + PROBE_PAUSE_MS, false)) return false;
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

    bool collect() { return receiveUntil(os.nowMs() + settings.collectLimitMs, true); }

    // Receives and handles datagrams until `deadline`, or, when `quietEnds`,
    // until a full quiet wait passes with nothing. False when a receive failed.
    bool receiveUntil(uint64_t deadline, bool quietEnds) {
        // What is left of the quiet wait that began with the last datagram.
        uint32_t quietUs = settings.quietWaitUs;
        for (;;) {
            uint64_t now = os.nowMs();
            if (now >= deadline) return true;
            uint64_t leftUs = (deadline - now) * 1000u;
            BRIVO::Clock wait(leftUs < quietUs ? static_cast<uint32_t>(leftUs) : quietUs);
            switch (endpoint.receiveFrom(buffer, source, sourcePort, wait)) {
            case BRIVO::FAIL:
                say(out, "Socket Receive Err");
                return false;
            case BRIVO::TIMEOUT:
                // A wait cut short by the deadline ends through the check above.
                if (quietEnds && wait.microseconds == quietUs) return true;
                break;
            case BRIVO::DISCARDED:
                // Any host can send one; it must not end the run.
                noteDiscarded();
                quietUs = settings.quietWaitUs;
                break;
            case BRIVO::RECEIVED: {
                handle();
                // Many devices answer at once: take what is already waiting in
                // batches before waiting again.
                long taken = drainWaiting();
                if (taken < 0) {
                    say(out, "Socket Receive Err");
                    return false;
                }
                quietUs = settings.quietWaitUs;
                // In a crowd, waking for every few datagrams costs more than the
                // datagrams; a short nap lets the queue fill for whole batches.
                // It counts as part of the quiet wait, which still ends on time.
                if (taken >= CROWD && quietUs > CROWD_NAP_MS * 1000u) {
                    os.sleepMs(CROWD_NAP_MS);
                    quietUs -= CROWD_NAP_MS * 1000u;
                }
                break;
            }
            }
        }
    }

    // The number of datagrams taken, or -1 when the receive failed.
    long drainWaiting() {
        long taken = 0;
        for (;;) {
            if (!endpoint.receiveWaiting(batch)) return -1;
            taken += static_cast<long>(batch.count());
            for (size_t i = 0; i < batch.count(); ++i) {
                if (!batch.deliverable(i)) {
                    noteDiscarded();
                    continue;
                }
                batch.source(i, source);
                sourcePort = batch.sourcePort(i);
                buffer.assign(batch.data(i), batch.data(i) + batch.length(i));
                handle();
            }
            if (batch.count() < BATCH_SIZE) return taken;
        }
    }

    void handle() {
        // A repeat from a known address costs one lookup: its content cannot
        // change the table (the first valid answer wins).
        auto place = devices.lower_bound(source);
        if (place != devices.end() && place->first == source) {
            if (settings.log) {
                AnswerVerdict v = judgeAnswer(buffer, name, url);
                logDatagram(v == AnswerVerdict::ACCEPTED ? "duplicate of an earlier answer"
                                                         : std::string("rejected: ") + verdictText(v));
            }
            return;
        }
        AnswerVerdict verdict = judgeAnswer(buffer, name, url);
        if (verdict != AnswerVerdict::ACCEPTED) {
            if (settings.log) logDatagram(std::string("rejected: ") + verdictText(verdict));
            return;
        }
        if (devices.size() >= settings.maxDevices) {
            if (settings.log && !tableFullNoted)
                note("device table full (" + std::to_string(settings.maxDevices) +
                     " devices); answers from further addresses are ignored");
            tableFullNoted = true;
            return;
        }
        devices.emplace_hint(place, source, std::make_pair(name, url));
        if (settings.log) logDatagram("accepted");
    }

    void noteDiscarded() {
        if (settings.log) note("datagram discarded: empty or longer than 1500 bytes");
    }

    std::string probedVia() const {
        if (settings.interfaces.empty()) return "via the system's default interface";
        std::string via = "via";
        for (const ProbeInterface& i : settings.interfaces) via += " " + i.name + " (" + dottedQuad(i.address) + ")";
        return via;
    }
    void note(const std::string& text) { *settings.log << "webfind: " << text << '\n' << std::flush; }
    void logProbe(const std::string& via) {
        if (settings.log) note("probe to 224.0.0.138:3576 via " + via);
    }
    void logDatagram(const std::string& verdict) {
        note(dottedQuad(source.address + 12) + ":" + std::to_string(sourcePort) + " " + std::to_string(buffer.size()) +
             " bytes: " + verdict);
    }

    static constexpr size_t BATCH_SIZE = 64;
    static constexpr long CROWD = 8;
    static constexpr uint32_t CROWD_NAP_MS = 1;

    const RunSettings& settings;
    std::ostream& out;
    const BRIVO::Platform& os;
    // Constructed in the order the run needs them; destroyed in reverse.
    UDPV4 endpoint;
    Buffer buffer;
    BRIVO::DatagramBatch batch{BATCH_SIZE};
    DeviceTable devices;
    IPAddress source;
    uint16_t sourcePort = 0;
    std::string name, url;
    bool tableFullNoted = false;
};

}  // namespace

int runDiscovery(const RunSettings& settings, std::ostream& out, const Presenter& present) {
    Run run(settings, out);
    return run.go(present);
}

}  // namespace webfind
