#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <set>
#include <unordered_map>
#include <vector>

namespace webfind::announce {

// How many answers a second the announcer gives: to one source, and to all
// sources together.
struct Limits {
    uint32_t perSource = 10;
    uint32_t shared = 500;
};

// A probe that earned an answer, with what the answer needs.
struct Asked {
    uint32_t source = 0;        // IPv4, host order
    uint16_t sourcePort = 0;
    uint32_t interfaceIndex = 0;
};

// The announcer's budget of answers, so that forged probes can never make
// it an amplifier: a token bucket for each source (`perSource` a second)
// and one for all (`shared` a second). When the shared budget runs short,
// probes wait a moment (MAX_WAIT at most) for their turn, and the sources
// answered least recently go first: one that has had no answer in the last
// second before those that have, a finder that has never been answered
// before any source a flood keeps answered. Memory stays bounded however
// many sources there are. Times are milliseconds of a monotonic clock.
class Budget {
public:
    enum Decision {
        ANSWER,       // answer now
        WAITING,      // its turn comes with the shared budget (take())
        SOURCE_RATE,  // refused: its source has had its answers for this second
        HELD,         // refused: its source waits already; that one answer serves both
    };

    static constexpr uint64_t MAX_WAIT_MS = 150;
    static constexpr size_t MAX_WAITING = 1024;
    static constexpr size_t MAX_SOURCES = 65536;

    explicit Budget(Limits limits = Limits()) : limits(limits) {}

    Decision offer(const Asked& asked, uint64_t now);
    // The waiting probes whose turn has come, best first; `dropped` counts
    // those that waited too long or were pushed out by better ones (refused
    // by the shared rule).
    std::vector<Asked> take(uint64_t now, size_t& dropped);
    // When the next waiting probe could be answered; 0 when none waits.
    uint64_t nextTurn(uint64_t now) const;

    size_t sources() const { return bySource.size(); }
    size_t waiting() const { return queue.size(); }

private:
    struct Bucket {
        double tokens;
        uint64_t refilled;  // when tokens were last brought up to date
    };
    struct Source {
        Bucket bucket;
        uint64_t lastAnswer = 0;  // 0: never answered
        bool waiting = false;
    };
    // Order of the waiting: least recently answered, then first come.
    struct Turn {
        uint64_t lastAnswer;
        uint64_t sequence;
        bool operator<(const Turn& other) const {
            return lastAnswer != other.lastAnswer ? lastAnswer < other.lastAnswer : sequence < other.sequence;
        }
    };
    struct Waiting {
        Asked asked;
        uint64_t since;
    };

    static void refill(Bucket& b, double rate, double capacity, uint64_t now);
    Source& sourceOf(uint32_t address, uint64_t now);
    void answered(Source& s, uint64_t now);
    void forgetIdle(uint64_t now);

    const Limits limits;
    Bucket shared{0, 0};
    bool sharedStarted = false;
    std::unordered_map<uint32_t, Source> bySource;
    std::map<Turn, Waiting> queue;
    uint64_t sequence = 0;
    uint64_t nextScan = 0;  // for idle sources
};

}  // namespace webfind::announce
