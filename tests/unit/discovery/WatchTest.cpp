// Watch mode: which events a device's answers make round after round, and
// whole watches on the fake platform's virtual clock.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FakePlatform.h"
#include "app/discovery/Watch.h"
#include "app/wire/Messages.h"

using namespace webfind;
using BRIVO::Buffer;
using testing::ElementsAre;

namespace {

const char* const KINDS[] = {"up", "down", "changed"};

class WatchTrackerTest : public testing::Test {
protected:
    WatchTracker tracker{3, 3 * DeviceTable::cost("A", "http://a/"), [this](const WatchEvent& e) {
                             events.push_back(std::string(KINDS[e.kind]) + " " + e.address.text() + " " + e.name +
                                              " " + e.url);
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

TEST_F(WatchTrackerTest, DownAfterTwoMissedRoundsInARowThenForgotten) {
    tracker.keep(a, "A", "http://a/");
    tracker.keep(b, "B", "http://b/");
    tracker.endRound();               // round 1: both seen
    tracker.keep(a, "A", "http://a/");
    tracker.endRound();               // round 2: b missed once
    EXPECT_EQ(events.size(), 2u);
    tracker.keep(b, "B", "http://b/");
    tracker.endRound();               // round 3: b back, a missed once
    tracker.endRound();               // round 4: a missed twice, b once
    EXPECT_THAT(events, ElementsAre("up 10.0.0.1 A http://a/", "up 10.0.0.2 B http://b/", "down 10.0.0.1 A http://a/"));
    EXPECT_EQ(tracker.known(), 1u) << "a device that went down is forgotten";
    tracker.keep(a, "A", "http://a/");
    EXPECT_EQ(events.back(), "up 10.0.0.1 A http://a/") << "and comes up again";
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
    tracker.endRound();
    EXPECT_LT(tracker.known(), 3u);
    EXPECT_EQ(tracker.keep(d, "D", "http://d/"), Take::KEPT);
}

class WatchRun : public FakePlatformTest, public WatchObserver {
protected:
    SocketStep watchFor(Milliseconds duration) {
        WatchSettings w;
        w.interval = Milliseconds(1000);
        w.duration = duration;
        return watch(settings, w, *this).failed;
    }
    void event(const WatchEvent& e) override {
        events.push_back(std::string(KINDS[e.kind]) + " " + e.address.text() + " at " + std::to_string(fake.now - 1000) +
                         " round " + std::to_string(e.round));
    }
    void roundFailed(uint64_t round, SocketStep step, const FailureReason& why) override {
        failures.push_back("round " + std::to_string(round) + ": " + failureMessage(step) + " (" + why.text + ")");
    }
    void roundEnded(uint64_t round, const RunReport& report, const DeviceTable& up) override {
        std::string names;
        for (const auto& device : up) names += " " + device.second.name;
        rounds.push_back(std::to_string(round) + ": " + std::to_string(report.answered) + " up" + names);
    }
    static Buffer answer(const std::string& name) {
        Buffer b;
        buildAnswer(b, name, "http://x/");
        return b;
    }

    RunSettings settings;
    std::vector<std::string> events, failures, rounds;
};

TEST_F(WatchRun, EventsAsTheyHappenAndTheDurationEndsIt) {
    Buffer printer = answer("Printer");
    fake.arrivals = {{static_cast<long>(printer.size()), printer, addressV4(10, 0, 0, 5, 3576), 30}};
    EXPECT_EQ(watchFor(Milliseconds(3500)), SocketStep::NONE);
    // Up at its answer, 30 ms in; down once rounds 2 and 3 passed without it.
    // The down event names the last round the device answered in.
    EXPECT_THAT(events, ElementsAre("up 10.0.0.5 at 30 round 1", "down 10.0.0.5 at 3000 round 1"));
    EXPECT_EQ(fake.now - 1000, 3500u) << "ended by the duration";
    EXPECT_EQ(fake.sent.size(), 12u) << "three probes in each of four rounds";
    EXPECT_THAT(rounds, ElementsAre("1: 1 up Printer", "2: 1 up Printer", "3: 0 up")) << "the round the duration cut says nothing";
}

TEST_F(WatchRun, AFirstRoundFailureEndsItAsARunEnds) {
    fake.sendResults = {12, -1};
    EXPECT_EQ(watchFor(Milliseconds(5000)), SocketStep::SEND);
    EXPECT_TRUE(failures.empty());
}

TEST_F(WatchRun, LaterFailuresAreNotedAndTheNextRoundTriesAgain) {
    fake.sendResults = {12, 12, 12, -1};
    fake.error = {BRIVO::SocketError::NO_ROUTE, 101, "Network is unreachable"};
    EXPECT_EQ(watchFor(Milliseconds(3000)), SocketStep::NONE);
    EXPECT_THAT(failures, ElementsAre("round 2: Socket Send Err (Network is unreachable)"));
    EXPECT_EQ(fake.sent.size(), 3u + 1u + 3u) << "round 3 probed again";
}

TEST_F(WatchRun, DevicesThePatternsLeaveOutMakeNoEvents) {
    settings.filter = DeviceFilter({"printer"});
    Buffer camera = answer("Camera"), printer = answer("Printer");
    fake.arrivals = {{static_cast<long>(camera.size()), camera, addressV4(10, 0, 0, 4, 3576), 10},
                     {static_cast<long>(printer.size()), printer, addressV4(10, 0, 0, 5, 3576), 10}};
    EXPECT_EQ(watchFor(Milliseconds(1500)), SocketStep::NONE);
    EXPECT_THAT(events, ElementsAre("up 10.0.0.5 at 20 round 1"));
}

TEST_F(WatchRun, AStopRequestEndsItWithoutADownForTheRoundItCut) {
    WatchSettings w;
    w.interval = Milliseconds(1000);
    // Asked in the middle of the second round.
    w.stopRequested = [&] { return fake.now - 1000 >= 1500; };
    Buffer printer = answer("Printer");
    fake.arrivals = {{static_cast<long>(printer.size()), printer, addressV4(10, 0, 0, 5, 3576), 30}};
    EXPECT_EQ(watch(settings, w, *this).failed, SocketStep::NONE);
    EXPECT_THAT(events, ElementsAre("up 10.0.0.5 at 30 round 1"));
}
