#include "app/Session.h"

#include <algorithm>

#include "Network/Clock.h"

namespace webfind {

using BRIVO::Buffer;
using BRIVO::IPAddress;

// One datagram as the session handles it, wherever its bytes are held.
struct Session::Datagram {
    DatagramBytes bytes;
    IPAddress source;  // IPv4-mapped, port field 0
    uint16_t sourcePort;
};

// What one receive brought.
enum class Session::Received {
    NOTHING,  // the wait passed
    SOME,     // one or a few datagrams, each handled
    CROWD,    // many at once: worth a nap before the next wait
    FAILED,   // the socket failed
};

namespace {

BRIVO::Clock clockOf(Milliseconds wait) {
    return BRIVO::Clock(static_cast<uint32_t>(std::chrono::microseconds(wait).count()));
}

}  // namespace

const char* failureMessage(RunReport::Step step) {
    switch (step) {
    case RunReport::OPEN: return "Socket Open Err";
    case RunReport::BIND: return "Socket Bind Err";
    case RunReport::SEND: return "Socket Send Err";
    case RunReport::RECEIVE: return "Socket Receive Err";
    case RunReport::NONE: break;
    }
    return "";
}

Session::Session(const RunSettings& settings, const AnswerHandler& handler, std::function<bool()> interrupted,
                 Milliseconds stopAt)
    : settings(settings), handler(handler), interrupted(std::move(interrupted)), stopAt(stopAt), os(BRIVO::platform()) {}

bool Session::open() {
    if (!endpoint.open(BRIVO::SocketV4::UDP_BROADCAST)) {
        runReport.failed = RunReport::OPEN;
        return false;
    }
    if (!endpoint.bindV4(IPAddress(0, 0, 0, 0, settings.localPort))) {
        runReport.failed = RunReport::BIND;
        return false;
    }
    // Every device answers at once; a larger queue keeps their answers from
    // being dropped while we are busy. Best effort.
    endpoint.setReceiveBuffer(RECEIVE_BUFFER_BYTES);
    return true;
}

bool Session::probe() {
    Buffer probeBytes;
    buildProbe(probeBytes);
    for (uint32_t round = 0; round < PROBE_COUNT && !done; ++round) {
        if (!sendRound(probeBytes)) {
            runReport.failed = RunReport::SEND;
            return false;
        }
        if (round + 1 < PROBE_COUNT && !listenUntil(now() + PROBE_PAUSE)) return false;
    }
    return true;
}

bool Session::sendRound(const Buffer& probeBytes) {
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

bool Session::listenUntil(Milliseconds deadline) {
    for (Milliseconds left; !checkStop() && (left = deadline - now()) > Milliseconds::zero();) {
        switch (receive(capped(left))) {
        case Received::FAILED: return false;
        case Received::CROWD: napInCrowd(left); break;
        case Received::NOTHING:
        case Received::SOME: break;
        }
    }
    return true;
}

bool Session::collectUntilQuiet() {
    const Milliseconds deadline = now() + settings.collectLimit;
    // What is left of the quiet wait that began with the last datagram.
    Milliseconds quiet = settings.quietWait;
    for (Milliseconds left; !checkStop() && (left = deadline - now()) > Milliseconds::zero();) {
        const Milliseconds wait = capped(std::min(left, quiet));
        switch (receive(wait)) {
        case Received::FAILED: return false;
        case Received::NOTHING:
            // Quiet for `wait` more; a wait cut short by the limit ends
            // through the loop's test.
            quiet -= wait;
            if (quiet <= Milliseconds::zero()) return true;
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

void Session::pauseUntil(Milliseconds deadline) {
    for (Milliseconds left; !checkStop() && (left = deadline - now()) > Milliseconds::zero();)
        os.sleepMs(static_cast<uint32_t>(std::min(capped(left), STOP_CHECK).count()));
}

Milliseconds Session::capped(Milliseconds wait) const {
    if (interrupted) wait = std::min(wait, STOP_CHECK);
    if (stopAt != Milliseconds::max()) wait = std::min(wait, std::max(stopAt - now(), Milliseconds::zero()));
    return wait;
}

bool Session::checkStop() {
    if (!done && ((interrupted && interrupted()) || now() >= stopAt)) done = true;
    return done;
}

// Waits at most `wait` for a datagram; handles it and every datagram already
// waiting behind it.
Session::Received Session::receive(Milliseconds wait) {
    BRIVO::Clock limit = clockOf(wait);
    IPAddress source;
    uint16_t sourcePort = 0;
    switch (endpoint.receiveFrom(buffer, source, sourcePort, limit)) {
    case BRIVO::FAIL:
        runReport.failed = RunReport::RECEIVE;
        return Received::FAILED;
    case BRIVO::TIMEOUT: return Received::NOTHING;
    case BRIVO::DISCARDED:
        // Any host can send one; it must not end the run.
        ++runReport.datagrams;
        noteDiscarded();
        return Received::SOME;
    case BRIVO::RECEIVED: break;
    }
    handle(Datagram{{buffer.data(), buffer.size()}, source, sourcePort});
    if (done) return Received::SOME;
    // Many devices answer at once: take what is already waiting in batches
    // before waiting again.
    long taken = takeWaiting();
    if (taken < 0) {
        runReport.failed = RunReport::RECEIVE;
        return Received::FAILED;
    }
    return taken >= CROWD ? Received::CROWD : Received::SOME;
}

// In a crowd, waking for every few datagrams costs more than the datagrams; a
// short nap lets the queue fill for whole batches. Naps only when `left` has
// room for it; returns how long it slept.
Milliseconds Session::napInCrowd(Milliseconds left) {
    if (left <= CROWD_NAP) return Milliseconds::zero();
    os.sleepMs(static_cast<uint32_t>(CROWD_NAP.count()));
    return CROWD_NAP;
}

// The number of datagrams taken, or -1 when the receive failed.
long Session::takeWaiting() {
    long taken = 0;
    for (;;) {
        if (!endpoint.receiveWaiting(batch)) return -1;
        taken += static_cast<long>(batch.count());
        for (size_t i = 0; i < batch.count() && !done; ++i) {
            if (!batch.deliverable(i)) {
                ++runReport.datagrams;
                noteDiscarded();
                continue;
            }
            IPAddress source;
            batch.source(i, source);
            handle(Datagram{{batch.data(i), batch.length(i)}, source, batch.sourcePort(i)});
        }
        if (done || batch.count() < BATCH_SIZE) return taken;
    }
}

void Session::handle(const Datagram& datagram) {
    ++runReport.datagrams;
    // A repeat that cannot matter costs one lookup, and no judging.
    if (!handler.wanted(datagram.source)) {
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
    switch (handler.take(datagram.source, name, url)) {
    case Take::FULL:
        if (settings.log && !fullNoted)
            note("device table full (" + std::to_string(settings.maxDevices) +
                 " devices); answers from further addresses are ignored");
        fullNoted = true;
        return;
    case Take::DONE: done = true; break;
    case Take::KEPT: break;
    }
    if (settings.log) logDatagram(datagram, "accepted");
}

void Session::note(const std::string& text) {
    if (settings.log) *settings.log << "webfind: " << text << '\n' << std::flush;
}

void Session::noteDiscarded() {
    if (settings.log)
        note("datagram discarded: empty or longer than " + std::to_string(BRIVO::MAX_DATAGRAM_SIZE) + " bytes");
}

std::string Session::probedVia() const {
    if (settings.interfaces.empty()) return "via the system's default interface";
    std::string via = "via";
    for (const ProbeInterface& i : settings.interfaces) via += " " + i.name + " (" + dottedQuad(i.address) + ")";
    return via;
}

void Session::logProbe(const std::string& via) {
    if (settings.log)
        note("probe to " + dottedQuad(DISCOVERY_GROUP.address + 12) + ":" + std::to_string(DISCOVERY_PORT) + " via " +
             via);
}

void Session::logDatagram(const Datagram& d, const std::string& verdict) {
    note(dottedQuad(d.source.address + 12) + ":" + std::to_string(d.sourcePort) + " " + std::to_string(d.bytes.size) +
         " bytes: " + verdict);
}

}  // namespace webfind
