// The announcer's budget on a virtual clock: an address's answers and all
// sources' bounded a second, in answers and bytes; look-ups of new
// neighbours bounded; and a real finder (three probes 100 ms apart) answered
// through every kind of flood, with the queue bounded whatever the sources.

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <vector>

#include "announce/Budget.h"

using namespace webfind::announce;
using BRIVO::NeighbourState;

namespace {

constexpr uint32_t FINDER = 0x0A00FFFE;

Asked from(uint32_t source, uint64_t received, uint16_t port = 40000, uint32_t bytes = 60) {
    return Asked{source, port, 2, received, bytes, true};
}

// The neighbour table as the system keeps it: an address is looked up when
// it is first answered, and resolves when a host is there to answer, or
// fails after 3 s. `fixed` holds entries a test sets.
struct Table {
    std::function<bool(uint32_t)> present = [](uint32_t) { return true; };
    std::map<uint32_t, NeighbourState> fixed;
    std::map<uint32_t, uint64_t> lookedUp;  // when its first answer went
    uint64_t now = 0;
    size_t questions = 0;
    NeighbourState state(uint32_t address) const {
        auto f = fixed.find(address);
        if (f != fixed.end()) return f->second;
        auto l = lookedUp.find(address);
        if (l == lookedUp.end()) return NeighbourState::NONE;
        if (present(address)) return NeighbourState::REACHABLE;
        return now - l->second < 3000 ? NeighbourState::INCOMPLETE : NeighbourState::FAILED;
    }
    void answered(uint32_t address) { lookedUp.emplace(address, now); }
    Budget::Neighbours ask() {
        return [this](uint32_t, uint32_t address) {
            ++questions;
            return state(address);
        };
    }
};

// Each millisecond from `start` for `ms`: `perMs` forged probes (the i-th
// from `forged(i)`), then the finder's at 0, 100 and 200 ms when `finder`;
// true when the finder got an answer within 150 ms of a probe.
struct Outcome {
    size_t answers = 0;
    bool finderAnswered = false;
    std::map<uint32_t, size_t> byAddress;
};
Outcome flood(Budget& budget, Table& table, uint64_t start, uint64_t ms, size_t perMs,
              const std::function<Asked(uint64_t i, uint64_t t)>& forged, bool finder) {
    Outcome run;
    uint64_t i = 0;
    std::vector<Budget::Refused> refused;
    auto count = [&run, &table](const Asked& a) {
        table.answered(a.source);
        ++run.answers;
        ++run.byAddress[a.source];
        if (a.source == FINDER && a.sourcePort == 40000) run.finderAnswered = true;
    };
    for (uint64_t t = start; t < start + ms; ++t) {
        table.now = t;
        for (size_t k = 0; k < perMs; ++k) {
            const Asked a = forged(i++, t);
            if (budget.offer(a, t) == Budget::ANSWER) count(a);
        }
        if (finder && (t - start == 0 || t - start == 100 || t - start == 200)) {
            const Asked a = from(FINDER, t);
            if (budget.offer(a, t) == Budget::ANSWER) count(a);
        }
        for (const Asked& a : budget.take(t, refused)) count(a);
    }
    return run;
}

}  // namespace

TEST(AnswerBudget, AnAddressHasTenAnswersASecondWhateverItsPorts) {
    Table table;
    table.fixed[1] = table.fixed[2] = NeighbourState::REACHABLE;
    Budget budget(Limits{}, table.ask());
    size_t answered = 0;
    for (uint16_t port = 2000; port < 2050; ++port)
        answered += budget.offer(from(1, 1000, port), 1000) == Budget::ANSWER;
    EXPECT_EQ(answered, 10u);
    std::vector<Budget::Refused> refused;
    EXPECT_TRUE(budget.take(1099, refused).empty());
    EXPECT_EQ(budget.take(1100, refused).size(), 1u) << "a tenth of a second gives one more";
    EXPECT_EQ(budget.offer(from(2, 1100), 1100), Budget::ANSWER) << "another address has its own";
}

// 100,000 probes a second for five seconds: no more than a full bucket and
// the rate after it, in answers and in bytes, spent rather than wasted.
TEST(AnswerBudget, AllSourcesTogetherHaveNoMoreThanTheSharedAnswersAndBytes) {
    struct Case {
        const char* name;
        uint32_t answerBytes;
        size_t most;
        size_t least;
    };
    const Case cases[] = {
        {"small answers: the answers a second bind", 60, 500 + 5 * 500, 5 * 500 - 10},
        {"1,400-byte answers: the bytes a second bind", 1400, (128 * 1024 + 5 * 128 * 1024) / 1400,
         5 * 128 * 1024 / 1400 - 2},
    };
    for (const Case& c : cases) {
        Table table;
        for (uint32_t a = 0; a < 1000; ++a) table.fixed[0x0A000000u + a] = NeighbourState::REACHABLE;
        Budget budget(Limits{}, table.ask());
        const Outcome run = flood(
            budget, table, 0, 5000, 100,
            [&c](uint64_t i, uint64_t t) {
                return from(0x0A000000u + static_cast<uint32_t>(i % 1000), t, 40000, c.answerBytes);
            },
            false);
        EXPECT_LE(run.answers, c.most) << c.name;
        EXPECT_GE(run.answers, c.least) << c.name;
        EXPECT_LE(budget.waiting(), Budget::MAX_WAITING) << c.name;
    }
}

// A finder whose address this host has not looked up yet probes three times
// while each flood goes on: it is answered every time.
TEST(AnswerBudget, AFinderIsAnsweredThroughEveryFlood) {
    struct Case {
        const char* name;
        size_t perMs;
        std::function<Asked(uint64_t, uint64_t)> forged;
        bool forgedPresent;  // the forged addresses answer look-ups
    };
    const Case cases[] = {
        {"150 absent addresses", 100, [](uint64_t i, uint64_t t) { return from(0x0A000100u + i % 150, t); }, false},
        {"1,000 resolvable addresses", 100, [](uint64_t i, uint64_t t) { return from(0x0A010000u + i % 1000, t); },
         true},
        {"1,000 resolvable addresses, slowly", 1,
         [](uint64_t i, uint64_t t) { return from(0x0A010000u + i % 1000, t); }, true},
        {"65,536 resolvable addresses", 100, [](uint64_t i, uint64_t t) { return from(0x0B000000u + i % 65536, t); },
         true},
        {"ever-new sources", 100,
         [](uint64_t i, uint64_t t) { return from(0x0C000000u + static_cast<uint32_t>(i), t); }, false},
        {"the finder's own address from other ports", 100,
         [](uint64_t i, uint64_t t) { return from(FINDER, t, static_cast<uint16_t>(1024 + i % 31744)); }, true},
    };
    for (const Case& c : cases) {
        Table table;
        const bool forgedPresent = c.forgedPresent;
        table.present = [forgedPresent](uint32_t a) { return a == FINDER || forgedPresent; };
        Budget budget(Limits{}, table.ask());
        flood(budget, table, 0, 3000, c.perMs, c.forged, false);
        for (uint64_t round = 0; round < 5; ++round) {
            table.lookedUp.erase(FINDER);  // a finder this host has not met yet, each time
            EXPECT_TRUE(flood(budget, table, 3000 + round * 1000, 1000, c.perMs, c.forged, true).finderAnswered)
                << c.name << ", finder's run " << round;
        }
        EXPECT_LE(budget.waiting(), Budget::MAX_WAITING) << c.name;
        EXPECT_LE(table.questions, 8u * 1000)
            << c.name << ": at most a thousand questions a second to the neighbour table";
    }
}

TEST(AnswerBudget, NeighboursThisHostWouldLookUpAreBoundedAndTheAbsentRefused) {
    Table table;
    table.fixed = {{1, NeighbourState::FAILED}, {2, NeighbourState::INCOMPLETE}};
    table.present = [](uint32_t a) { return a == FINDER; };
    Budget budget(Limits{}, table.ask());
    EXPECT_EQ(budget.offer(from(1, 0), 0), Budget::ABSENT) << "nobody answered the last look-up";
    EXPECT_EQ(budget.offer(from(2, 0), 0), Budget::RESOLVING) << "an answer waits for the look-up already";
    // Strangers take three quarters of the look-up budget; a finder trying
    // again finds the rest.
    size_t answered = 0;
    for (uint32_t a = 100; a < 200; ++a)
        if (budget.offer(from(a, 0), 0) == Budget::ANSWER) {
            table.answered(a);
            ++answered;
        }
    EXPECT_EQ(answered, 7u) << "10 a second, the last quarter (2.5) kept";
    EXPECT_EQ(budget.lookUpsUnderWay(), 7u);
    EXPECT_EQ(budget.offer(from(FINDER, 0), 0), Budget::WAITING);
    EXPECT_EQ(budget.offer(from(FINDER, 100), 100), Budget::NEW_NEIGHBOURS) << "its second probe takes its place";
    std::vector<Budget::Refused> refused;
    ASSERT_EQ(budget.take(100, refused).size(), 1u) << "and is answered";
    table.answered(FINDER);
    // Under way at most 16 at once, 12 of them for strangers, until the
    // system's look-ups end (3 s).
    uint32_t next = 1000;
    for (uint64_t t = 100; t < 2900; t += 10) {
        table.now = t;
        if (budget.offer(from(next, t), t) == Budget::ANSWER) table.answered(next);
        ++next;
        for (const Asked& a : budget.take(t, refused)) table.answered(a.source);
        EXPECT_LE(budget.lookUpsUnderWay(), 12u + 1) << "at " << t << " ms";
    }
    // Now they all answer: the ended look-ups leave room.
    table.present = [](uint32_t) { return true; };
    table.now = 2990;
    EXPECT_EQ(budget.offer(from(next, 2990), 2990), Budget::ANSWER);
    EXPECT_EQ(budget.lookUpsUnderWay(), 1u);
}

TEST(AnswerBudget, WhenTheBudgetIsShortAFinderTryingAgainGoesFirstAndWaitsNoLongerThanItListens) {
    Table table;
    table.present = [](uint32_t) { return true; };
    for (uint32_t a :
         {1u, 2u, 3u, 4u, 5u, 6u, 7u, 8u, 9u, 10u, 11u, 12u, 13u, 14u, 15u, 16u, 17u, 18u, 19u, 20u, 99u, FINDER})
        table.answered(a);
    Limits limits;
    limits.shared = 20;  // an answer every 50 ms
    Budget budget(limits, table.ask());
    for (uint32_t s = 1; s <= 20; ++s) EXPECT_EQ(budget.offer(from(s, 0), 0), Budget::ANSWER);
    EXPECT_EQ(budget.offer(from(FINDER, 0), 0), Budget::WAITING);
    EXPECT_EQ(budget.offer(from(99, 10), 10), Budget::WAITING);
    EXPECT_EQ(budget.offer(from(FINDER, 55), 55), Budget::SHARED_RATE)
        << "one answer waits for a source, however often it asks; its retry moves it up";
    std::vector<Budget::Refused> refused;
    std::vector<Asked> due = budget.take(60, refused);
    ASSERT_EQ(due.size(), 1u);
    EXPECT_EQ(due[0].source, FINDER) << "the finder trying again, before a source met once";
    due = budget.take(10 + Budget::MAX_WAIT_MS + 1, refused);
    EXPECT_TRUE(due.empty());
    ASSERT_EQ(refused.size(), 1u);
    EXPECT_EQ(refused[0].why, Budget::SHARED_RATE);
    EXPECT_EQ(budget.offer(from(7, 0), 200), Budget::STALE) << "taken in by the system 200 ms ago";
}
