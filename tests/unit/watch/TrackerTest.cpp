// The tracker of a watch: which events a device's answers make round after
// round, and the bounds of its table.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/watch/Tracker.h"

using namespace webfind;
using testing::ElementsAre;

namespace {

const char* const KINDS[] = {"up", "down", "changed"};

class WatchTrackerTest : public testing::Test {
protected:
    WatchTracker tracker{
        TableLimits{3, 3 * DeviceTable::cost("A", "http://a/")}, [this](const WatchEvent& e) {
            events.push_back(std::string(KINDS[e.kind]) + " " + e.address.text() + " " + e.name + " " + e.url);
        }};
    std::vector<std::string> events;
    const Address a{{10, 0, 0, 1}}, b{{10, 0, 0, 2}}, c{{10, 0, 0, 3}}, d{{10, 0, 0, 4}};
};

}  // namespace

TEST_F(WatchTrackerTest, UpOnceAtTheFirstAnswerAndRepeatsInARoundAreNotWanted) {
    EXPECT_TRUE(tracker.wanted(a));
    tracker.keep(a, "Printer", "http://a/");
    EXPECT_THAT(events, ElementsAre("up 10.0.0.1 Printer http://a/"));
    EXPECT_FALSE(tracker.wanted(a)) << "seen this round";
    tracker.endRound();
    EXPECT_TRUE(tracker.wanted(a));
    tracker.keep(a, "Printer", "http://a/");
    EXPECT_EQ(events.size(), 1u) << "the same answer again is no event";
}

TEST_F(WatchTrackerTest, ChangedWhenTheFirstAnswerOfARoundDiffers) {
    tracker.keep(a, "Printer", "http://a/");
    tracker.endRound();
    tracker.keep(a, "Printer 2", "http://a/");
    tracker.endRound();
    tracker.keep(a, "Printer 2", "https://a/");
    EXPECT_THAT(events, ElementsAre("up 10.0.0.1 Printer http://a/", "changed 10.0.0.1 Printer 2 http://a/",
                                    "changed 10.0.0.1 Printer 2 https://a/"));
}

TEST_F(WatchTrackerTest, DownWhenAJudgedRoundEndsWithoutItsAnswerThenForgotten) {
    tracker.keep(a, "A", "http://a/");
    tracker.keep(b, "B", "http://b/");
    tracker.endRound();  // round 1: both seen
    tracker.keep(a, "A", "http://a/");
    EXPECT_EQ(tracker.missing(), 1u) << "b has not answered yet";
    tracker.endRound(false);  // round 2 could not probe: nothing said of b
    EXPECT_EQ(events.size(), 2u);
    tracker.keep(a, "A", "http://a/");
    tracker.endRound();  // round 3: b missed a round that was judged
    EXPECT_THAT(events, ElementsAre("up 10.0.0.1 A http://a/", "up 10.0.0.2 B http://b/", "down 10.0.0.2 B http://b/"));
    EXPECT_EQ(tracker.known(), 1u) << "a device that went down is forgotten";
    EXPECT_EQ(tracker.missing(), 1u) << "a, until it answers in the new round";
    tracker.keep(b, "B", "http://b/");
    EXPECT_EQ(events.back(), "up 10.0.0.2 B http://b/") << "and comes up again";
}

TEST_F(WatchTrackerTest, TheTableCapsHoldInDevicesAndInBytes) {
    tracker.keep(a, "A", "http://a/");
    tracker.keep(b, "B", "http://b/");
    tracker.keep(c, "C", "http://c/");
    EXPECT_EQ(tracker.keep(d, "D", "http://d/"), Take::FULL);
    EXPECT_EQ(events.size(), 3u);
    EXPECT_EQ(tracker.known(), 3u);
    EXPECT_EQ(tracker.leftOut(), 1u);
    // A longer name no longer fits: the device stays as it was, counted.
    tracker.endRound();
    EXPECT_EQ(tracker.keep(a, "A much longer name", "http://a/"), Take::FULL);
    EXPECT_EQ(events.size(), 3u);
    EXPECT_EQ(tracker.leftOut(), 2u);
    // Gone, it makes room.
    tracker.endRound();
    EXPECT_LT(tracker.known(), 3u);
    EXPECT_EQ(tracker.keep(d, "D", "http://d/"), Take::KEPT);
}
