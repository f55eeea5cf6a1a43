// Whole watches on the fake platform's virtual clock: events as they
// happen, failures, patterns, the duration and stop requests.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FakePlatform.h"
#include "app/watch/Watch.h"
#include "app/wire/Messages.h"

using namespace webfind;
using BRIVO::Buffer;
using testing::ElementsAre;

namespace {

const char* const KINDS[] = {"up", "down", "changed"};

}  // namespace

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
