// Watch mode's event logic, and whole watches against the fake platform's
// virtual clock; name patterns; the opener's commands; event lines.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "FakePlatform.h"
#include "Network/Socket.h"
#include "app/Discovery.h"
#include "app/Opener.h"
#include "app/Patterns.h"
#include "app/Present.h"
#include "app/Session.h"
#include "app/Watch.h"

using namespace webfind;
using BRIVO::Buffer;
using BRIVO::IPAddress;
using testing::ElementsAre;
using testing::IsEmpty;

namespace {

class WatchTrackerTest : public testing::Test {
protected:
    WatchTracker tracker{3, [this](const WatchEvent& e) {
                             events.push_back(std::string(eventWord(e.kind)) + " " + dottedQuad(e.address.address + 12) +
                                              " " + e.name + " " + e.url);
                         }};
    std::vector<std::string> events;
    const IPAddress a{10, 0, 0, 1, 0}, b{10, 0, 0, 2, 0}, c{10, 0, 0, 3, 0}, d{10, 0, 0, 4, 0};
};

}  // namespace

TEST_F(WatchTrackerTest, UpOnceAtTheFirstAnswerAndRepeatsInARoundAreNotWanted) {
    EXPECT_TRUE(tracker.wanted(a));
    tracker.take(a, "Printer", "http://a/");
    EXPECT_THAT(events, ElementsAre("up 10.0.0.1 Printer http://a/"));
    EXPECT_FALSE(tracker.wanted(a)) << "seen this round";
    tracker.endRound();
    EXPECT_TRUE(tracker.wanted(a));
    tracker.take(a, "Printer", "http://a/");
    EXPECT_EQ(events.size(), 1u) << "the same answer again is no event";
}

TEST_F(WatchTrackerTest, ChangedWhenTheFirstAnswerOfARoundDiffers) {
    tracker.take(a, "Printer", "http://a/");
    tracker.endRound();
    tracker.take(a, "Printer 2", "http://a/");
    tracker.endRound();
    tracker.take(a, "Printer 2", "https://a/");
    EXPECT_THAT(events, ElementsAre("up 10.0.0.1 Printer http://a/", "changed 10.0.0.1 Printer 2 http://a/",
                                    "changed 10.0.0.1 Printer 2 https://a/"));
}

TEST_F(WatchTrackerTest, DownAfterTwoMissedRoundsInARowThenForgotten) {
    tracker.take(a, "A", "http://a/");
    tracker.take(b, "B", "http://b/");
    tracker.endRound();               // round 1: both seen
    tracker.take(a, "A", "http://a/");
    tracker.endRound();               // round 2: b missed once
    EXPECT_EQ(events.size(), 2u);
    tracker.take(b, "B", "http://b/");
    tracker.endRound();               // round 3: b back, a missed once
    tracker.endRound();               // round 4: a missed twice, b once
    EXPECT_THAT(events, ElementsAre("up 10.0.0.1 A http://a/", "up 10.0.0.2 B http://b/", "down 10.0.0.1 A http://a/"));
    EXPECT_EQ(tracker.known(), 1u) << "a device that went down is forgotten";
    tracker.take(a, "A", "http://a/");
    EXPECT_EQ(events.back(), "up 10.0.0.1 A http://a/") << "and comes up again";
}

TEST_F(WatchTrackerTest, TheTableCapHolds) {
    tracker.take(a, "A", "http://a/");
    tracker.take(b, "B", "http://b/");
    tracker.take(c, "C", "http://c/");
    EXPECT_EQ(tracker.take(d, "D", "http://d/"), Take::FULL);
    EXPECT_EQ(events.size(), 3u);
    EXPECT_EQ(tracker.known(), 3u);
}

class WatchRun : public testing::Test {
protected:
    WatchRun() : use(fake.table()) { BRIVO::socketLayerStarted = true; }
    ~WatchRun() override { BRIVO::socketLayerStarted = realStarted; }

    int watch(Milliseconds duration) {
        WatchSettings w;
        w.interval = Milliseconds(1000);
        w.duration = duration;
        return runWatch(settings, w, out, err, [this](const WatchEvent& e) {
            events.push_back(std::string(eventWord(e.kind)) + " " + dottedQuad(e.address.address + 12) + " at " +
                             std::to_string(fake.now - 1000));
        });
    }
    static Buffer answer(const std::string& name) {
        Buffer b;
        buildAnswer(b, name, "http://x/");
        return b;
    }

    const bool realStarted = BRIVO::socketLayerStarted;
    FakePlatform fake;
    BRIVO::PlatformOverride use;
    RunSettings settings;
    std::ostringstream out, err;
    std::vector<std::string> events;
};

TEST_F(WatchRun, EventsAsTheyHappenAndTheDurationEndsIt) {
    Buffer printer = answer("Printer");
    fake.arrivals = {{static_cast<long>(printer.size()), printer, addressV4(10, 0, 0, 5, 3576), 30}};
    EXPECT_EQ(watch(Milliseconds(3500)), EXIT_DONE);
    // Up at its answer, 30 ms in; down once rounds 2 and 3 passed without it.
    EXPECT_THAT(events, ElementsAre("up 10.0.0.5 at 30", "down 10.0.0.5 at 3000"));
    EXPECT_EQ(fake.now - 1000, 3500u) << "ended by the duration";
    EXPECT_EQ(fake.sent.size(), 12u) << "three probes in each of four rounds";
    EXPECT_EQ(out.str(), "");
}

TEST_F(WatchRun, AFirstRoundFailureEndsItAsARunEnds) {
    fake.sendResults = {12, -1};
    EXPECT_EQ(watch(Milliseconds(5000)), EXIT_SOCKET_FAILURE);
    EXPECT_EQ(out.str(), "Socket Send Err\n");
}

TEST_F(WatchRun, LaterFailuresAreNotedAndTheNextRoundTriesAgain) {
    fake.sendResults = {12, 12, 12, -1};
    EXPECT_EQ(watch(Milliseconds(3000)), EXIT_DONE);
    EXPECT_EQ(err.str(), "webfind: round 2: Socket Send Err; trying again next round\n");
    EXPECT_EQ(fake.sent.size(), 3u + 1u + 3u) << "round 3 probed again";
    EXPECT_EQ(out.str(), "");
}

TEST_F(WatchRun, ShortWaitsForStopRequestsStillMakeAWholeQuietWait) {
    settings.quietWait = Milliseconds(500);
    AnswerHandler handler{[](const IPAddress&) { return true; },
                          [](const IPAddress&, const std::string&, const std::string&) { return Take::KEPT; }};
    Session session(settings, handler, [] { return false; });
    ASSERT_TRUE(session.open());
    fake.calls.clear();
    const uint64_t start = fake.now;
    EXPECT_TRUE(session.collectUntilQuiet());
    EXPECT_EQ(fake.now - start, 500u) << "the quiet wait ends after 500 ms, not after the first short wait";
    EXPECT_THAT(fake.calls, ElementsAre("wait 7 0s 200000us", "wait 7 0s 200000us", "wait 7 0s 100000us"));
}

TEST(NamePatterns, AnyPatternIgnoringTheCaseOfAsciiLetters) {
    EXPECT_TRUE(nameMatches("Living room CAMERA", {"camera"}));
    EXPECT_TRUE(nameMatches("Office Printer", {"scanner", "PRINT"}));
    EXPECT_FALSE(nameMatches("Router", {"camera", "printer"}));
    EXPECT_TRUE(nameMatches("anything", {}));
    EXPECT_TRUE(nameMatches("Caf\xC3\xA9 screen", {"CAF\xC3\xA9"}));
    EXPECT_FALSE(nameMatches("Caf\xC3\xA9", {"CAF\xC3\x89"})) << "letters beyond ASCII must match exactly";

    DeviceTable devices{{IPAddress(10, 0, 0, 2, 0), {"Printer", "http://p/"}}, {IPAddress(10, 0, 0, 1, 0), {"Camera", "http://c/"}}};
    DeviceTable kept = matching(devices, {"print"});
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(kept.begin()->second.first, "Printer");
}

TEST(OpenerCommands, BrowserEntriesThenWslviewThenTheSystemOpener) {
    using Commands = std::vector<std::vector<std::string>>;
    const std::string url = "http://x/a%20b";
    EXPECT_EQ(openerCommands(url, nullptr, false, "xdg-open"), (Commands{{"xdg-open", url}}));
    EXPECT_EQ(openerCommands(url, "", true, "xdg-open"), (Commands{{"wslview", url}, {"xdg-open", url}}));
    EXPECT_EQ(openerCommands(url, "firefox --new-tab %s:chromium:", false, "xdg-open"),
              (Commands{{"firefox", "--new-tab", url}, {"chromium", url}, {"xdg-open", url}}));
    EXPECT_EQ(openerCommands(url, "b --url=%s --pct=100%%", false, "open"),
              (Commands{{"b", "--url=" + url, "--pct=100%"}, {"open", url}}));
}

TEST(EventLines, TextEscapedAsTheListingAndJsonInReadingOrder) {
    WatchEvent up{WatchEvent::UP, IPAddress(10, 0, 0, 5, 0), "Cam\x1b[2J", "http://x/\xff"};
    const auto when = std::chrono::system_clock::time_point(std::chrono::milliseconds(1700000000123));
    EXPECT_EQ(eventLine(up, false, when), "up 10.0.0.5 Name:Cam\\x1B[2J URL:http://x/\xff");
    EXPECT_EQ(eventLine(up, true, when),
              "{\"event\":\"up\",\"time\":\"2023-11-14T22:13:20.123Z\",\"address\":\"10.0.0.5\","
              "\"name\":\"Cam\\u001b[2J\",\"url\":\"http://x/\xEF\xBF\xBD\"}");
    EXPECT_EQ(rfc3339(std::chrono::system_clock::time_point()), "1970-01-01T00:00:00.000Z");
}
