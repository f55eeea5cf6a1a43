#include "announce/Budget.h"

#include <algorithm>
#include <cmath>

namespace webfind::announce {

namespace {

using BRIVO::NeighbourState;

// A source's pace: its asks, each counting half as much every PACE_HALF_MS.
// A finder's three probes 100 ms apart reach 2.6, a watch's probe and four
// retries 90 ms apart 3.9; a source that keeps asking every 150 ms, 5.3.
constexpr double PACE_HALF_MS = 500;
constexpr double CALM_PACE = 4.5;
// A probe this long after an unanswered one is a finder trying again (its
// probes go 90 to 100 ms apart); sooner, a flood. A finder tries at most
// this often in a row (a run three times, a watch five) before it is
// answered or pauses for a second.
constexpr uint64_t RETRY_FROM_MS = 50;
constexpr uint64_t RETRY_UNTIL_MS = 300;
constexpr uint32_t RETRIES_IN_A_ROW = 5;
constexpr uint64_t PAUSE_MS = 1000;
// A source answered this recently has its answer.
constexpr uint64_t ANSWERED_MS = 500;
// How long what the neighbour table said is taken as still true.
uint64_t trustedFor(NeighbourState state) {
    switch (state) {
    case NeighbourState::REACHABLE:
    case NeighbourState::FAILED:
    case NeighbourState::UNKNOWN: return 1000;
    // A host that is there answers a look-up within a few milliseconds.
    case NeighbourState::INCOMPLETE: return 20;
    case NeighbourState::NONE:
    case NeighbourState::STALE: return 0;
    }
    return 0;
}
// Questions to the neighbour table a second: each is a system call.
constexpr double QUESTIONS = 2000;
// Look-ups under way are asked about again at most this often when there
// is no room for another.
constexpr uint64_t REVIEW_MS = 100;

bool holds(Budget::Verdict v) {
    return v == Budget::ADDRESS_RATE || v == Budget::SHARED_RATE || v == Budget::NEW_NEIGHBOURS;
}

}  // namespace

void Budget::Bucket::refill(double rate, double capacity, uint64_t now) {
    if (now > refilled) tokens = std::min(capacity, tokens + rate * static_cast<double>(now - refilled) / 1000.0);
    refilled = std::max(refilled, now);
}

Budget::Budget(Limits limits, Neighbours neighbours)
    : limits(limits),
      neighbours(std::move(neighbours)),
      shared{static_cast<double>(limits.shared), 0},
      bytes{static_cast<double>(limits.sharedBytes), 0},
      lookUps{static_cast<double>(limits.newNeighbours), 0},
      questions{QUESTIONS, 0} {}

// Judged with this ask counted (its pace and asks in a row brought up to
// date), from what came before it.
Budget::Standing Budget::standingOf(const Asked& asked, Source* s, bool met, uint64_t now) {
    if (!s || met) return FIRST;
    if (s->pace > CALM_PACE) return NOISY;
    const bool unanswered = s->lastAnswer < s->lastAsk;
    const uint64_t since = now - s->lastAsk;
    if (since >= RETRY_FROM_MS && since <= RETRY_UNTIL_MS && unanswered && s->unanswered <= RETRIES_IN_A_ROW)
        return RETRY;
    // Answered once is not enough: an address nobody is at was answered too.
    const Address* a = addresses.find(asked.source, now);
    const bool real = !asked.resolves || (a && a->resolved);
    if (s->lastAnswer && now - s->lastAnswer >= ANSWERED_MS && real) return KNOWN;
    return s->lastAnswer ? NOISY : FIRST;
}

// An address may be forgotten once nothing is owed: no probe of its
// waits, its bucket is full again (no answer in the last second), and no
// look-up of it is under way (judged by what was last learnt).
Budget::Address* Budget::addressOf(uint32_t address, uint64_t now) {
    const Limits& l = limits;
    bool made = false;
    Address* a = addresses.add(address, now, made, [&l](Address& old, uint64_t at) {
        old.bucket.refill(l.perSource, l.perSource, at);
        return old.waiting == 0 && old.bucket.tokens >= l.perSource &&
               !(old.neighbour == NeighbourState::INCOMPLETE && at - old.checked < LOOK_UP_MS);
    });
    if (a && made) a->bucket = Bucket{static_cast<double>(limits.perSource), now};
    if (a) a->bucket.refill(limits.perSource, limits.perSource, now);
    return a;
}

bool Budget::roomToLookUp(Standing standing, bool underWayToo, uint64_t now) {
    lookUps.refill(limits.newNeighbours, limits.newNeighbours, now);
    const bool stranger = standing >= FIRST;
    // The last quarter is kept for finders that are trying again.
    const double reserve = stranger ? std::max(1.0, limits.newNeighbours / 4.0) : 0;
    if (lookUps.tokens < 1 + reserve) return false;
    if (!underWayToo) return true;
    const size_t room = stranger ? limits.inFlight * 3 / 4 : limits.inFlight;
    underWay.erase(std::remove_if(underWay.begin(), underWay.end(),
                                  [now](const LookUp& l) { return now - l.since >= LOOK_UP_MS; }),
                   underWay.end());
    if (underWay.size() >= room && now - lastReview >= REVIEW_MS) {
        // Those that have ended (resolved or failed) no longer count.
        lastReview = now;
        questions.refill(QUESTIONS, QUESTIONS, now);
        underWay.erase(std::remove_if(underWay.begin(), underWay.end(),
                                      [this](const LookUp& l) {
                                          if (questions.tokens < 1) return false;
                                          questions.tokens -= 1;
                                          const NeighbourState s = neighbours(l.interfaceIndex, l.address);
                                          return s != NeighbourState::INCOMPLETE && s != NeighbourState::NONE;
                                      }),
                       underWay.end());
    }
    return underWay.size() < room;
}

NeighbourState Budget::neighbourOf(const Asked& asked, Address& a, Standing standing, uint64_t now) {
    if (!asked.resolves) return NeighbourState::REACHABLE;
    if (a.checked && now - a.checked < trustedFor(a.neighbour)) return a.neighbour;
    // A stranger that could not be answered unless its address is known
    // already costs no question while there is no room for a look-up.
    questions.refill(QUESTIONS, QUESTIONS, now);
    if ((standing >= FIRST && !roomToLookUp(standing, true, now)) || questions.tokens < 1)
        return NeighbourState::UNKNOWN;
    questions.tokens -= 1;
    a.neighbour = neighbours(asked.interfaceIndex, asked.source);
    a.checked = std::max<uint64_t>(now, 1);
    a.resolved = a.resolved || a.neighbour == NeighbourState::REACHABLE || a.neighbour == NeighbourState::STALE;
    return a.neighbour;
}

Budget::Verdict Budget::judge(const Asked& asked, Standing standing, uint64_t now) {
    shared.refill(limits.shared, limits.shared, now);
    bytes.refill(limits.sharedBytes, limits.sharedBytes, now);
    if (shared.tokens < 1 || bytes.tokens < asked.bytes) return SHARED_RATE;
    Address* a = addressOf(asked.source, now);
    if (!a || a->bucket.tokens < 1) return ADDRESS_RATE;
    const NeighbourState state = neighbourOf(asked, *a, standing, now);
    if (state == NeighbourState::FAILED) return ABSENT;
    if (state == NeighbourState::INCOMPLETE) return RESOLVING;
    const bool lookUp = state != NeighbourState::REACHABLE;
    // Only a look-up the system makes anew holds a table entry until it ends.
    const bool underWayToo = state == NeighbourState::NONE;
    if (lookUp && !roomToLookUp(standing, underWayToo, now)) return NEW_NEIGHBOURS;

    shared.tokens -= 1;
    bytes.tokens -= asked.bytes;
    a->bucket.tokens -= 1;
    if (lookUp) {
        lookUps.tokens -= 1;
        if (underWayToo) underWay.push_back(LookUp{asked.source, asked.interfaceIndex, now});
        // What the answer makes of the entry: being looked up, or checked
        // (reachable until the check ends).
        if (state != NeighbourState::UNKNOWN) {
            a->neighbour = underWayToo ? NeighbourState::INCOMPLETE : NeighbourState::REACHABLE;
            a->checked = std::max<uint64_t>(now, 1);
        }
    }
    if (Source* s = sources.find(sourceKey(asked), now)) s->lastAnswer = std::max<uint64_t>(now, 1);
    return ANSWER;
}

Budget::Verdict Budget::offer(const Asked& asked, uint64_t now) {
    if (now > asked.received + MAX_WAIT_MS) return STALE;
    bool met = false;
    Source* s = sources.add(sourceKey(asked), now, met, [](const Source& old, uint64_t) { return !old.waiting; });
    if (s) {
        const uint64_t since = met ? 0 : now - s->lastAsk;
        s->pace = static_cast<float>(s->pace * std::exp2(-static_cast<double>(since) / PACE_HALF_MS) + 1);
        if (s->lastAnswer >= s->lastAsk || since >= PAUSE_MS) s->unanswered = 0;
        ++s->unanswered;
    }
    const Standing standing = standingOf(asked, s, met, now);
    if (s) s->lastAsk = std::max<uint64_t>(now, 1);

    if (s && s->waiting) {
        // One answer serves both; a better standing moves the one waiting up.
        auto it = queue.find(s->turn);
        if (it != queue.end()) {
            const Verdict held = it->second.held;
            if (standing < it->first.standing) {
                // It waits on as the newer probe, whose finder listens longer.
                const Waiting moved{asked, held};
                queue.erase(it);
                s->turn = Turn{standing, sequence++};
                queue.emplace(s->turn, moved);
                if (held == SHARED_RATE) heldByShared = std::min(heldByShared, standing);
            }
            return held;
        }
    }
    // Behind a better probe that waits for the shared budget, or for its
    // address's.
    if (heldByShared <= standing) return hold(asked, standing, SHARED_RATE, now);
    if (Address* a = addresses.find(asked.source, now))
        if (a->waiting && a->bestWaiting <= standing) return hold(asked, standing, ADDRESS_RATE, now);
    const Verdict v = judge(asked, standing, now);
    return holds(v) ? hold(asked, standing, v, now) : v;
}

// Waits, if there is room; when the queue (or its address's share of it) is
// full, a better probe pushes the worst out, a worse one is refused.
Budget::Verdict Budget::hold(const Asked& asked, Standing standing, Verdict held, uint64_t now) {
    Address* a = addressOf(asked.source, now);
    if (!a) return held;
    if (a->waiting >= MAX_WAITING_PER_ADDRESS) {
        // Only a finder trying again (or known) looks for a worse one to
        // push out: a flood of one address's ports costs no search.
        if (standing >= FIRST) return held;
        auto worst = queue.end();
        for (auto it = queue.begin(); it != queue.end(); ++it)
            if (it->second.asked.source == asked.source) worst = it;
        if (worst == queue.end() || worst->first.standing <= standing) return held;
        pushOut(worst, now);
    }
    if (queue.size() >= MAX_WAITING) {
        auto worst = std::prev(queue.end());
        if (worst->first.standing <= standing) return held;
        pushOut(worst, now);
    }
    const Turn turn{standing, sequence++};
    queue.emplace(turn, Waiting{asked, held});
    if (!a->waiting || standing < a->bestWaiting) a->bestWaiting = standing;
    ++a->waiting;
    if (Source* s = sources.find(sourceKey(asked), now)) {
        s->waiting = true;
        s->turn = turn;
    }
    if (held == SHARED_RATE) heldByShared = std::min(heldByShared, standing);
    return WAITING;
}

void Budget::pushOut(std::map<Turn, Waiting>::iterator it, uint64_t now) {
    pushedOut.push_back(Refused{it->second.asked, it->second.held});
    release(it, now);
}

void Budget::release(std::map<Turn, Waiting>::iterator it, uint64_t now) {
    if (Address* a = addresses.find(it->second.asked.source, now)) a->waiting -= a->waiting > 0;
    if (Source* s = sources.find(sourceKey(it->second.asked), now)) s->waiting = false;
    queue.erase(it);
}

std::vector<Asked> Budget::take(uint64_t now, std::vector<Refused>& refused) {
    std::vector<Asked> answerNow;
    due = now + TURN_MS;
    refused.insert(refused.end(), pushedOut.begin(), pushedOut.end());
    pushedOut.clear();
    heldByShared = NO_STANDING;
    for (auto it = queue.begin(); it != queue.end();) {
        const Asked asked = it->second.asked;
        if (now > asked.received + MAX_WAIT_MS) {
            refused.push_back(Refused{asked, it->second.held});
            release(it++, now);
            continue;
        }
        const Verdict v = judge(asked, it->first.standing, now);
        if (v == ANSWER) {
            answerNow.push_back(asked);
            release(it++, now);
        } else if (holds(v)) {
            it->second.held = v;
            if (v == SHARED_RATE) {
                // Every probe behind it needs the shared budget too.
                heldByShared = it->first.standing;
                break;
            }
            ++it;
        } else {
            refused.push_back(Refused{asked, v});
            release(it++, now);
        }
    }
    // Behind the one held by the shared budget, those that waited too long
    // are let go now and then, so that they do not keep their places.
    if (heldByShared != NO_STANDING && now - lastSweep >= 50) {
        lastSweep = now;
        for (auto it = queue.begin(); it != queue.end();) {
            if (now > it->second.asked.received + MAX_WAIT_MS) {
                refused.push_back(Refused{it->second.asked, it->second.held});
                release(it++, now);
            } else {
                ++it;
            }
        }
    }
    return answerNow;
}

}  // namespace webfind::announce
