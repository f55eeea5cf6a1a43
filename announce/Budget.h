#pragma once

#include <cstddef>
#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <vector>

#include "Network/Platform.h"
#include "announce/Recent.h"

namespace webfind::announce {

// How much the announcer answers, a second: to one address (whatever its
// ports), to all together in answers and in bytes, and to addresses this
// host would have to look up or check again first (each holds an entry of
// the system's neighbour table, shared by the whole host, for seconds).
struct Limits {
    uint32_t perSource = 10;
    uint32_t shared = 500;
    uint32_t sharedBytes = 128 * 1024;
    uint32_t newNeighbours = 10;
    uint32_t inFlight = 16;  // look-ups under way at once, of those
};

// A probe that passed the rules, with what its answer needs.
struct Asked {
    uint32_t source = 0;  // IPv4, host order
    uint16_t sourcePort = 0;
    uint32_t interfaceIndex = 0;
    uint64_t received = 0;  // when the system took it in (ms of the monotonic clock)
    uint32_t bytes = 0;     // the size of its answer
    bool resolves = true;   // its link looks neighbours up (loopback and point-to-point links do not)
    uint32_t to = 0;        // for a unicast probe, this host's address it was sent to; 0: the group
};

// The announcer's budget, so that forged probes can neither make it an
// amplifier nor keep real finders from their answers:
// - token buckets for each address (its ports together, so that a victim
//   gets no more however many ports are forged), for all answers, for their
//   bytes, and for answers that make this host look an address up (a new
//   neighbour entry) or check a stale one again, with at most `inFlight`
//   look-ups under way; an address nobody answers for is refused until the
//   system forgets it, one being looked up already gets no second answer;
// - when a budget is short, probes wait (MAX_WAIT_MS after the system took
//   them in, at most) and are answered by standing, as a real finder asks:
//   a source (address and port) that asked 50 to 300 ms ago without an
//   answer, and not more than four times in a row (a finder's second and
//   third probe, a watch's retries), first; then
//   one answered before, from an address a host has answered look-ups
//   for, that asks calmly (a watch's next round); then a source met for the
//   first time; last one that asks more often than a finder does (four
//   times in quick succession) or was answered just now. Sources of neither of the first two standings do
//   not take the last quarter of the look-up budget.
// Memory is fixed whatever the sources. Times are milliseconds of a
// monotonic clock.
class Budget {
public:
    enum Verdict {
        ANSWER,          // answer now
        WAITING,         // its turn comes with take()
        ADDRESS_RATE,    // its address has had its answers for this second
        SHARED_RATE,     // all sources together have (answers or bytes)
        NEW_NEIGHBOURS,  // the answers that make this host look an address up are spent
        ABSENT,          // nobody answered the last look-up of its address
        RESOLVING,       // its address is being looked up: an answer already waits for it
        STALE,           // it waited longer than a finder listens
    };
    // What the neighbour table says of an address (host order) on an interface.
    using Neighbours = std::function<BRIVO::NeighbourState(uint32_t interfaceIndex, uint32_t address)>;
    struct Refused {
        Asked asked;
        Verdict why;
    };

    static constexpr uint64_t MAX_WAIT_MS = 150;
    static constexpr size_t MAX_WAITING = 256;
    static constexpr size_t MAX_WAITING_PER_ADDRESS = 3;
    static constexpr size_t SOURCES = 65536;
    static constexpr size_t ADDRESSES = 16384;
    // A look-up under way is given up after this (the system's own three tries).
    static constexpr uint64_t LOOK_UP_MS = 3000;

    Budget(Limits limits, Neighbours neighbours);

    Verdict offer(const Asked& asked, uint64_t now);
    // The waiting probes whose turn has come, best first, to be answered
    // now; those that waited too long or were pushed out by better ones go
    // to `refused` with the rule that held them last.
    std::vector<Asked> take(uint64_t now, std::vector<Refused>& refused);
    // When take() is next due (now or earlier: at once); 0 when nothing
    // waits. The waiting are looked at every TURN_MS while they wait.
    uint64_t nextTurn(uint64_t) const { return queue.empty() ? 0 : std::max<uint64_t>(due, 1); }
    static constexpr uint64_t TURN_MS = 2;

    size_t waiting() const { return queue.size(); }
    size_t lookUpsUnderWay() const { return underWay.size(); }

private:
    enum Standing : uint8_t { RETRY, KNOWN, FIRST, NOISY, NO_STANDING };
    struct Bucket {
        double tokens;
        uint64_t refilled;
        void refill(double rate, double capacity, uint64_t now);
    };
    struct Turn {
        Standing standing;
        uint64_t sequence;
        bool operator<(const Turn& other) const {
            return standing != other.standing ? standing < other.standing : sequence < other.sequence;
        }
    };
    // What is known of a source (address and port). All zero: nothing.
    struct Source {
        uint64_t lastAsk;
        uint64_t lastAnswer;  // 0: never answered
        float pace;           // its asks, each counting less as it ages (by half every 500 ms)
        uint32_t unanswered;  // asks in a row without an answer, no second apart
        bool waiting;
        Turn turn;  // its place in the queue, while it waits
    };
    // What is known of an address. All zero: nothing.
    struct Address {
        Bucket bucket;
        BRIVO::NeighbourState neighbour;
        uint64_t checked;  // when `neighbour` was learnt; 0: never
        uint32_t waiting;
        Standing bestWaiting;  // while any wait: the best standing among them (or better)
        bool resolved;         // a host answered for it once: it is no forged address
    };
    struct Waiting {
        Asked asked;
        Verdict held;  // the rule that holds it
    };
    struct LookUp {
        uint32_t address;
        uint32_t interfaceIndex;
        uint64_t since;
    };

    static uint64_t sourceKey(const Asked& a) { return uint64_t(a.source) << 16 | a.sourcePort; }
    Standing standingOf(const Asked& asked, Source* source, bool met, uint64_t now);
    Address* addressOf(uint32_t address, uint64_t now);
    Verdict judge(const Asked& asked, Standing standing, uint64_t now);
    BRIVO::NeighbourState neighbourOf(const Asked& asked, Address& address, Standing standing, uint64_t now);
    bool roomToLookUp(Standing standing, bool underWayToo, uint64_t now);
    Verdict hold(const Asked& asked, Standing standing, Verdict held, uint64_t now);
    void pushOut(std::map<Turn, Waiting>::iterator it, uint64_t now);
    void release(std::map<Turn, Waiting>::iterator it, uint64_t now);

    const Limits limits;
    const Neighbours neighbours;
    // Answers, their bytes, answers that need a look-up or a check, and
    // questions to the neighbour table (each a system call).
    Bucket shared, bytes, lookUps, questions;
    Recent<Source, 8> sources{SOURCES};
    Recent<Address> addresses{ADDRESSES};
    std::map<Turn, Waiting> queue;
    uint64_t sequence = 0;
    std::vector<LookUp> underWay;
    uint64_t lastReview = 0;              // of the look-ups under way
    uint64_t lastSweep = 0;               // of the queue, for probes that waited too long
    uint64_t due = 0;                     // when take() is next due
    Standing heldByShared = NO_STANDING;  // the best standing that waits for the shared budget
    std::vector<Refused> pushedOut;       // by offer(), told by the next take()
};

}  // namespace webfind::announce
