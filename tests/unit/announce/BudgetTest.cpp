// The announcer's budget on a virtual clock: a source's answers and all
// sources' bounded a second, the least recently answered first when the
// budget runs short, and memory bounded whatever the sources.

#include <gtest/gtest.h>

#include <vector>

#include "announce/Budget.h"

using namespace webfind::announce;

namespace {

Asked from(uint32_t source) { return Asked{source, 40000, 2}; }

// Offers `probes` a millisecond from `sources` forged sources for `ms`
// milliseconds, from `start`; counts the answers given, now or later.
size_t flood(Budget& budget, uint32_t sources, size_t probes, uint64_t start, uint64_t ms) {
    size_t answers = 0, dropped = 0;
    uint32_t next = 0;
    for (uint64_t t = start; t < start + ms; ++t) {
        for (size_t i = 0; i < probes; ++i) answers += budget.offer(from(0x0A000000u + next++ % sources), t) == Budget::ANSWER;
        answers += budget.take(t, dropped).size();
    }
    return answers;
}

}  // namespace

TEST(AnswerBudget, ASourceHasTenAnswersASecond) {
    Budget budget(Limits{10, 500});
    size_t answered = 0;
    for (int i = 0; i < 50; ++i) answered += budget.offer(from(1), 1000) == Budget::ANSWER;
    EXPECT_EQ(answered, 10u);
    EXPECT_EQ(budget.offer(from(1), 1050), Budget::SOURCE_RATE);
    EXPECT_EQ(budget.offer(from(1), 1100), Budget::ANSWER) << "a tenth of a second gives one more";
    EXPECT_EQ(budget.offer(from(2), 1100), Budget::ANSWER) << "another source has its own";
}

TEST(AnswerBudget, AllSourcesTogetherHaveNoMoreThanTheSharedBudget) {
    Budget budget(Limits{10, 500});
    // 100,000 probes a second from 1,000 sources for five seconds.
    const size_t answers = flood(budget, 1000, 100, 0, 5000);
    EXPECT_LE(answers, 500u + 5 * 500u) << "a full bucket, then 500 a second";
    EXPECT_GE(answers, 5 * 500u - 10) << "the budget is spent, not wasted";
    EXPECT_LE(budget.waiting(), Budget::MAX_WAITING);
}

// A finder probing three times, 100 ms apart, in the middle of a flood
// from forged sources that keep the budget spent: it has never been
// answered, so its turn comes first.
TEST(AnswerBudget, AFinderIsAnsweredInTheMiddleOfAFlood) {
    Budget budget(Limits{10, 500});
    flood(budget, 1000, 100, 0, 3000);
    const uint32_t finder = 0x0A0000FE + 0x1000;
    size_t answered = 0, dropped = 0;
    for (uint64_t t = 3000; t < 3400; ++t) {
        if (t == 3000 || t == 3100 || t == 3200) answered += budget.offer(from(finder), t) == Budget::ANSWER;
        for (int i = 0; i < 100; ++i) budget.offer(from(0x0A000000u + static_cast<uint32_t>(i + t * 100) % 1000), t);
        for (const Asked& a : budget.take(t, dropped)) answered += a.source == finder;
    }
    EXPECT_GE(answered, 1u);
}

TEST(AnswerBudget, WhenTheBudgetIsShortTheLeastRecentlyAnsweredGoFirst) {
    Budget budget(Limits{10, 20});  // a shared answer every 50 ms
    for (uint32_t s = 1; s <= 20; ++s) EXPECT_EQ(budget.offer(from(s), 0), Budget::ANSWER);
    // The shared budget is spent: 1 and 99 wait; 99, never answered, first.
    EXPECT_EQ(budget.offer(from(1), 10), Budget::WAITING);
    EXPECT_EQ(budget.offer(from(99), 20), Budget::WAITING);
    EXPECT_EQ(budget.offer(from(99), 21), Budget::HELD) << "one answer waits for a source, however often it asks";
    size_t dropped = 0;
    std::vector<Asked> due = budget.take(60, dropped);
    ASSERT_EQ(due.size(), 1u);
    EXPECT_EQ(due[0].source, 99u);
    // A probe that waited longer than a finder would still listen is dropped.
    due = budget.take(10 + Budget::MAX_WAIT_MS + 1, dropped);
    EXPECT_TRUE(due.empty());
    EXPECT_EQ(dropped, 1u);
}

TEST(AnswerBudget, MemoryStaysBoundedWhateverTheSources) {
    Budget budget(Limits{10, 500});
    uint64_t t = 0;
    for (uint32_t s = 0; s < 3 * Budget::MAX_SOURCES; ++s) {
        budget.offer(from(s), t);
        size_t dropped = 0;
        budget.take(t, dropped);
        if (s % 1000 == 0) ++t;
    }
    EXPECT_LE(budget.sources(), Budget::MAX_SOURCES);
    EXPECT_LE(budget.waiting(), Budget::MAX_WAITING);
}
