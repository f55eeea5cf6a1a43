#include "app/discovery/Session.h"

#include <algorithm>

#include "Network/Clock.h"
#include "Network/Err.h"
#include "Network/Platform.h"
#include "app/wire/Messages.h"

namespace webfind {

using BRIVO::Buffer;
using BRIVO::IPAddress;

// What one receive brought.
enum class Session::Received {
    NOTHING,  // the wait passed
    SOME,     // one or a few datagrams, each handed over
    CROWD,    // many at once: worth a nap before the next wait
    FAILED,   // the socket failed
};

namespace {

// Room for a whole round of answers (about 10,000 small datagrams) while the
// run is busy; the system may grant less.
constexpr int32_t RECEIVE_BUFFER_BYTES = 8 << 20;

BRIVO::Clock clockOf(Milliseconds wait) {
    return BRIVO::Clock(static_cast<uint32_t>(std::chrono::microseconds(wait).count()));
}

Address addressOf(const IPAddress& mapped) { return Address::from(mapped.address + 12); }

std::string named(const Link& i) { return i.name + " (" + i.address.text() + ")"; }

}  // namespace

Session::Session(SessionSettings settings, DatagramSink& sink, const VerboseLog& log, std::function<bool()> interrupted,
                 Milliseconds stopAt, intptr_t wake)
    : settings(std::move(settings)),
      sink(sink),
      log(log),
      interrupted(std::move(interrupted)),
      stopAt(stopAt),
      wake(wake < 0 ? BRIVO::INVALID_HANDLE : static_cast<BRIVO::Handle>(wake)) {}

Milliseconds Session::now() const { return Milliseconds(BRIVO::platform().nowMs()); }

bool Session::fail(SocketStep step) {
    failure = step;
    reason = FailureReason::of(BRIVO::platform().lastError());
    return false;
}

bool Session::open() {
    try {
        endpoint.emplace();
    } catch (const BRIVO::Err&) {
        // The record wrote its assertion line; the run ends without a message.
        failure = SocketStep::STARTUP;
        return false;
    }
    if (!endpoint->open(BRIVO::SocketV4::UDP_BROADCAST)) return fail(SocketStep::OPEN);
    if (!endpoint->bindV4(IPAddress(0, 0, 0, 0, settings.localPort))) return fail(SocketStep::BIND);
    // Every device answers at once; a larger queue keeps their answers from
    // being dropped while we are busy. Best effort.
    endpoint->setReceiveBuffer(RECEIVE_BUFFER_BYTES);
    // A target's "port unreachable" says nothing listens there. Best effort:
    // not every system queues them.
    const int on = 1;
    if (!settings.targets.empty())
        BRIVO::platform().setOption(endpoint->handle(), BRIVO::SocketOption::UNREACHABLE_REPORTS, &on, sizeof on);
    return true;
}

bool Session::probe() {
    const Timings& t = settings.timings;
    for (uint32_t round = 0; round < t.probes && !done; ++round) {
        if (!sendProbe()) return false;
        if (round + 1 < t.probes && !listenUntil(now() + t.probePause)) return false;
    }
    return true;
}

bool Session::sendProbe() {
    if (probeBytes.empty()) buildProbe(probeBytes);
    if (!settings.targets.empty()) {
        if (!sendToTargets()) return false;
        // Targets alone, unless interfaces were chosen for the group too.
        if (settings.interfaces.empty()) return true;
    }
    const std::string group = dottedQuad(DISCOVERY_GROUP.address + 12) + ":" + std::to_string(DISCOVERY_PORT);
    if (settings.interfaces.empty()) {
        log.note("probe to " + group + " " + probedVia());
        return endpoint->sendTo(probeBytes, DISCOVERY_GROUP, DISCOVERY_PORT) || fail(SocketStep::SEND);
    }
    bool sent = false;
    for (const Link& via : settings.interfaces) {
        log.note("probe to " + group + " via " + named(via));
        if (sendThrough(via)) {
            sent = true;
        } else if (!settings.eachInterfaceAlone) {
            return fail(SocketStep::SEND);
        } else {
            log.note("could not probe via " + named(via) + ": " + BRIVO::platform().lastError().text);
            fail(SocketStep::SEND);
        }
    }
    // One that went out is a probe sent: a failure through another is no
    // failure of the round.
    if (sent) clearFailure();
    return sent;
}

bool Session::sendThrough(const Link& via) {
    uint8_t address[4] = {via.address.bytes[0], via.address.bytes[1], via.address.bytes[2], via.address.bytes[3]};
    return endpoint->setMulticastInterface(address) && endpoint->sendTo(probeBytes, DISCOVERY_GROUP, DISCOVERY_PORT);
}

// Each target once, paced: the n-th probe leaves no sooner than n/rate s
// after the first, in bursts of 10 ms, with answers taken in between. A
// target that answered or said nothing listens there in an earlier round
// is not probed again. A target the system cannot send to is passed over;
// none sent of those left is a failure.
bool Session::sendToTargets() {
    const std::vector<Address>& targets = settings.targets;
    settled.resize(targets.size());
    const uint32_t rate = std::max<uint32_t>(1, settings.rate);
    const size_t left = static_cast<size_t>(std::count(settled.begin(), settled.end(), false));
    log.note("probe to " + std::to_string(left) + (left == 1 ? " target" : " targets") + " at port " +
             std::to_string(DISCOVERY_PORT) + ", at most " + std::to_string(rate) + " a second");
    const size_t burst = std::max<uint32_t>(1, rate / 100);
    const Milliseconds start = now();
    size_t sent = 0, tried = 0;
    for (size_t i = 0; i < targets.size() && !done; ++i) {
        if (settled[i]) continue;
        if (tried > 0 && tried % burst == 0) {
            if (!listenUntil(start + Milliseconds(uint64_t(tried) * 1000 / rate))) return false;
            if (settings.progress && now() >= lastProgress + Milliseconds(1000)) {
                lastProgress = now();
                settings.progress(targetProbes + i, targets.size() * settings.timings.probes);
            }
        }
        ++tried;
        const Address& a = targets[i];
        const IPAddress to(a.bytes[0], a.bytes[1], a.bytes[2], a.bytes[3], DISCOVERY_PORT);
        // An ICMP error for an earlier probe fails the next send once: taken
        // from the queue, and the probe sent again.
        if (endpoint->sendTo(probeBytes, to, DISCOVERY_PORT) ||
            (takeUnreachable() && endpoint->sendTo(probeBytes, to, DISCOVERY_PORT)))
            ++sent;
        else
            log.note("could not probe " + a.text() + ": " + BRIVO::platform().lastError().text);
    }
    targetProbes += targets.size();
    return sent > 0 || tried == 0 || done || fail(SocketStep::SEND);
}

// Empties the queue of ICMP errors, noting each target that said nothing
// listens there; true when there was any. Errors for anything else (a
// router's "host unreachable") are taken and passed over.
bool Session::takeUnreachable() {
    bool any = false;
    uint8_t to[4];
    for (long taken; (taken = BRIVO::platform().takeUnreachable(endpoint->handle(), to)) >= 0;) {
        any = true;
        const Address target{{to[0], to[1], to[2], to[3]}};
        if (taken == 1 && settle(target)) refused.insert(target);
    }
    return any;
}

bool Session::settle(const Address& target) {
    const auto found = std::lower_bound(settings.targets.begin(), settings.targets.end(), target);
    if (found == settings.targets.end() || *found != target) return false;
    settled.resize(settings.targets.size());
    settled[static_cast<size_t>(found - settings.targets.begin())] = true;
    return true;
}

bool Session::probed(const Address& source) const {
    if (settings.targets.empty()) return true;
    if (std::binary_search(settings.targets.begin(), settings.targets.end(), source)) return true;
    for (const Link& l : settings.interfaces)
        if (l.holds(source)) return true;
    return false;
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
    const Timings& t = settings.timings;
    const Milliseconds deadline = now() + t.collectLimit;
    // What is left of the quiet wait that began with the last datagram.
    Milliseconds quiet = t.quietWait;
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
        case Received::SOME: quiet = t.quietWait; break;
        case Received::CROWD:
            // The nap counts as part of the quiet wait, which still ends on time.
            quiet = t.quietWait - napInCrowd(t.quietWait);
            break;
        }
    }
    return true;
}

void Session::pauseUntil(Milliseconds deadline) {
    for (Milliseconds left; !checkStop() && (left = deadline - now()) > Milliseconds::zero();) {
        if (wake != BRIVO::INVALID_HANDLE) {
            const uint32_t us = static_cast<uint32_t>(std::chrono::microseconds(capped(left)).count());
            BRIVO::platform().waitEither(BRIVO::INVALID_HANDLE, wake, BRIVO::WaitTime{us / 1000000u, us % 1000000u});
        } else {
            BRIVO::platform().sleepMs(static_cast<uint32_t>(std::min(capped(left), STOP_CHECK).count()));
        }
    }
}

Milliseconds Session::capped(Milliseconds wait) const {
    // Without a wake descriptor, a stop request is seen between short waits.
    if (interrupted && wake == BRIVO::INVALID_HANDLE) wait = std::min(wait, STOP_CHECK);
    if (stopAt != Milliseconds::max()) wait = std::min(wait, std::max(stopAt - now(), Milliseconds::zero()));
    return wait;
}

bool Session::checkStop() {
    if (!done && ((interrupted && interrupted()) || now() >= stopAt)) done = true;
    return done;
}

// The one receive path: waits at most `wait` for a datagram, then hands over
// it and every datagram already waiting behind it.
Session::Received Session::receive(Milliseconds wait) {
    if (wake != BRIVO::INVALID_HANDLE) {
        // Woken by a stop request: nothing received, and the loop sees it.
        const uint32_t us = static_cast<uint32_t>(std::chrono::microseconds(wait).count());
        const int ready =
            BRIVO::platform().waitEither(endpoint->handle(), wake, BRIVO::WaitTime{us / 1000000u, us % 1000000u});
        if (ready < 0) {
            fail(SocketStep::RECEIVE);
            return Received::FAILED;
        }
        if (ready != 1) return Received::NOTHING;
        wait = Milliseconds::zero();
    }
    BRIVO::Clock limit = clockOf(wait);
    switch (endpoint->receiveWaiting(batch, limit)) {
    case BRIVO::FAIL:
        // An ICMP error for a probe sent, reported on this receive: taken
        // from the queue, and no failure of the socket.
        if (!settings.targets.empty() &&
            (takeUnreachable() || BRIVO::platform().lastError().kind == BRIVO::SocketError::REFUSED))
            return Received::SOME;
        fail(SocketStep::RECEIVE);
        return Received::FAILED;
    case BRIVO::TIMEOUT: return Received::NOTHING;
    default: break;
    }
    // Many devices answer at once: a full batch means more is waiting.
    size_t taken = 0;
    for (;;) {
        taken += batch.count();
        if (!deliverBatch()) return Received::SOME;
        if (batch.count() < BATCH_SIZE) break;
        if (!endpoint->receiveWaiting(batch)) {
            fail(SocketStep::RECEIVE);
            return Received::FAILED;
        }
    }
    return taken > CROWD ? Received::CROWD : Received::SOME;
}

// Hands the batch's datagrams to the sink; false once the sink is done.
bool Session::deliverBatch() {
    for (size_t i = 0; i < batch.count(); ++i) {
        IPAddress source;
        batch.source(i, source);
        const bool deliverable = batch.deliverable(i);
        Datagram d{batch.data(i), deliverable ? batch.length(i) : 0, addressOf(source), batch.sourcePort(i),
                   deliverable};
        if (!settings.targets.empty()) settle(d.source);
        if (!sink.take(d)) {
            done = true;
            return false;
        }
    }
    return true;
}

// In a crowd, waking for every few datagrams costs more than the datagrams; a
// short nap lets the queue fill for whole batches. Naps only when `left` has
// room for it; returns how long it slept.
Milliseconds Session::napInCrowd(Milliseconds left) {
    if (left <= CROWD_NAP) return Milliseconds::zero();
    BRIVO::platform().sleepMs(static_cast<uint32_t>(CROWD_NAP.count()));
    return CROWD_NAP;
}

std::string Session::probedVia() const {
    const size_t targets = settings.targets.size();
    if (targets > 0 && settings.interfaces.empty())
        return std::to_string(targets) + (targets == 1 ? " target" : " targets") + " by unicast";
    if (settings.interfaces.empty()) {
        const Link& routed = settings.routed;
        if (routed.name.empty()) return "via the system's default interface";
        return "via " + named(routed) + ", the system's choice";
    }
    std::string via = "via";
    for (const Link& i : settings.interfaces) via += " " + named(i);
    return via;
}

}  // namespace webfind
