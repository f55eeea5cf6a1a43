// A watch's page: opened once, written anew as each round ends with the
// devices up and those gone, reloading itself until the watch ends.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <sstream>
#include <string>

#include "RecordingDesktop.h"
#include "app/base/Text.h"
#include "app/watch/LivePage.h"

using namespace webfind;
using testing::ElementsAre;
using testing::HasSubstr;
using testing::IsEmpty;
using testing::Not;

namespace {

class LivePageTest : public testing::Test, public RecordingDesktop {
protected:
    using Time = LivePage::Time;
    static Time at(int seconds) { return Time(std::chrono::seconds(1765112700 + seconds)); }
    WatchEvent event(WatchEvent::Kind kind, uint8_t last, const std::string& name, uint64_t round) {
        return WatchEvent{kind, Address{{10, 0, 0, last}}, name, "http://10.0.0." + std::to_string(last) + "/", {},
                          round};
    }
    void up(uint8_t last, const std::string& name) {
        devices.add(Address{{10, 0, 0, last}}, name, "http://10.0.0." + std::to_string(last) + "/");
    }
    const std::string& latest() const { return rewritten.back(); }

    Desktop fake = desktop();
    std::ostringstream err;
    DeviceTable devices;
    FactsTable facts;
};

}  // namespace

TEST_F(LivePageTest, OpenedOnceThenKeptCurrentUntilTheWatchEnds) {
    LivePage page(fake, true, 30, err);
    ASSERT_TRUE(page.start(at(0)));
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_THAT(pages[0], HasSubstr("<meta http-equiv=\"refresh\" content=\"5\">")) << "the first round shows soon";
    EXPECT_THAT(pages[0], HasSubstr("its first round is on its way"));
    EXPECT_THAT(opened, ElementsAre(LOCATION));
    EXPECT_EQ(err.str(), std::string("webfind: opened the watch's page: ") + LOCATION + "\n");

    up(5, "Printer");
    page.event(event(WatchEvent::UP, 5, "Printer", 1), at(1));
    page.roundEnded(1, devices, facts, at(30));
    EXPECT_THAT(latest(), HasSubstr("<meta http-equiv=\"refresh\" content=\"30\">"));
    EXPECT_THAT(latest(), HasSubstr("<h1>1 device up</h1>"));
    EXPECT_THAT(latest(), HasSubstr("the last round ended at " + localTime(at(30))));
    EXPECT_THAT(latest(), HasSubstr("<a href=\"http://10.0.0.5/\""));

    page.end(devices, facts, at(45));
    EXPECT_THAT(latest(), Not(HasSubstr("http-equiv=\"refresh\"")));
    EXPECT_THAT(latest(), HasSubstr("The watch ended at " + localTime(at(45)) + "; this page no longer changes."));
    EXPECT_EQ(opened.size(), 1u) << "opened once, however many rounds";
    EXPECT_EQ(pages.size(), 1u) << "one page, written anew";
}

TEST_F(LivePageTest, ADeviceThatWentIsShownAsTextWithWhenItWasLastSeen) {
    LivePage page(fake, true, 10, err);
    ASSERT_TRUE(page.start(at(0)));
    up(5, "<b>Printer</b>");
    page.roundEnded(1, devices, facts, at(10));
    page.roundEnded(2, devices, facts, at(20));
    devices.remove(Address{{10, 0, 0, 5}});
    page.event(event(WatchEvent::DOWN, 5, "<b>Printer</b>", 1), at(30));
    page.roundEnded(3, devices, facts, at(30));
    EXPECT_THAT(latest(), HasSubstr("<h1>0 devices up</h1>"));
    EXPECT_THAT(latest(), HasSubstr("<h2>Gone</h2>"));
    EXPECT_THAT(latest(), HasSubstr("<tr><td data-label=\"Name\">&lt;b&gt;Printer&lt;/b&gt;</td><td class=\"address\" "
                                    "data-label=\"Address\">10.0.0.5</td><td data-label=\"Last seen\">" +
                                    localTime(at(10)) + "</td>"))
        << "last seen as round 1 ended";
    EXPECT_THAT(latest(), HasSubstr("aria-label=\"last hour: both 2%, not watched 98%\""))
        << "at a round in 10 s, six rounds a stretch: up in two, down in one";
    EXPECT_THAT(latest(), Not(HasSubstr("href=\"http://10.0.0.5/\""))) << "a device that went is no link";

    // Back again: no longer gone.
    up(5, "Printer");
    page.event(event(WatchEvent::UP, 5, "Printer", 4), at(31));
    page.roundEnded(4, devices, facts, at(40));
    EXPECT_THAT(latest(), Not(HasSubstr("<h2>Gone</h2>")));
}

TEST_F(LivePageTest, RoundsThatCouldNotProbeDoNotMoveWhenAGoneDeviceWasLastSeen) {
    LivePage page(fake, true, 10, err);
    ASSERT_TRUE(page.start(at(0)));
    up(5, "Printer");
    page.roundEnded(1, devices, facts, at(10));
    for (uint64_t round = 2; round <= 7; ++round) {
        page.roundFailed(round);
        page.roundEnded(round, devices, facts, at(10 * round));
    }
    page.roundEnded(8, devices, facts, at(80));
    devices.remove(Address{{10, 0, 0, 5}});
    page.event(event(WatchEvent::DOWN, 5, "Printer", 1), at(90));
    page.roundEnded(9, devices, facts, at(90));
    EXPECT_THAT(latest(), HasSubstr("<td data-label=\"Last seen\">" + localTime(at(10)) + "</td>"));
}

TEST_F(LivePageTest, GoneKeepsOnlyTheLatest) {
    LivePage page(fake, true, 10, err);
    ASSERT_TRUE(page.start(at(0)));
    for (int i = 1; i <= 60; ++i)
        page.event(event(WatchEvent::DOWN, static_cast<uint8_t>(i), "d" + std::to_string(i), 1), at(i));
    page.roundEnded(3, devices, facts, at(70));
    EXPECT_THAT(latest(), HasSubstr(">d60<"));
    EXPECT_THAT(latest(), HasSubstr(">d11<"));
    EXPECT_THAT(latest(), Not(HasSubstr(">d10<")));
    EXPECT_LT(latest().find(">d60<"), latest().find(">d59<")) << "the latest first";
}

TEST_F(LivePageTest, WrittenButNotOpenedWhenAskedOrWithoutADesktop) {
    LivePage written(fake, false, 10, err);
    ASSERT_TRUE(written.start(at(0)));
    EXPECT_THAT(opened, IsEmpty());
    EXPECT_EQ(err.str(), std::string("webfind: the watch's page is ") + LOCATION + "\n");

    err.str("");
    hasDesktop = false;
    LivePage headless(fake, true, 10, err);
    ASSERT_TRUE(headless.start(at(0)));
    EXPECT_THAT(opened, IsEmpty());
    EXPECT_EQ(err.str(), std::string("webfind: no graphical session; the watch's page is ") + LOCATION + "\n");
}

TEST_F(LivePageTest, FailuresAreSaidOnceAndTheWatchGoesOn) {
    pageFails = true;
    LivePage none(fake, true, 10, err);
    EXPECT_FALSE(none.start(at(0)));
    EXPECT_THAT(err.str(), HasSubstr("could not write the watch's page (disk full); the watch goes on without it"));
    EXPECT_THAT(opened, IsEmpty());

    pageFails = false;
    err.str("");
    LivePage page(fake, true, 10, err);
    ASSERT_TRUE(page.start(at(0)));
    err.str("");
    rewriteFails = true;
    page.roundEnded(1, devices, facts, at(10));
    page.roundEnded(2, devices, facts, at(20));
    EXPECT_EQ(err.str(), "webfind: could not bring the watch's page up to date (disk full); trying again next round\n");
    rewriteFails = false;
    page.roundEnded(3, devices, facts, at(30));
    rewriteFails = true;
    page.roundEnded(4, devices, facts, at(40));
    EXPECT_EQ(rewritten.size(), 1u);
    EXPECT_EQ(err.str(),
              "webfind: could not bring the watch's page up to date (disk full); trying again next round\n"
              "webfind: could not bring the watch's page up to date (disk full); trying again next round\n")
        << "said again once it had worked in between";
}

// A wall screen read at a glance: each device's last hour as a strip drawn
// from the rounds (a run of alike stretches one rectangle), and how long it
// has been up; only the devices up and those shown gone keep one.
TEST_F(LivePageTest, EachDeviceHasItsLastHourAsAStripAndHowLongItHasBeenUp) {
    LivePage page(fake, false, 60, err);  // a round a minute: a stretch a round
    ASSERT_TRUE(page.start(at(0)));
    up(5, "Printer");
    page.event(event(WatchEvent::UP, 5, "Printer", 1), at(1));
    for (uint64_t round = 1; round <= 40; ++round) {
        if (round == 31) {
            devices.remove(Address{{10, 0, 0, 5}});
            page.event(event(WatchEvent::DOWN, 5, "Printer", 30), at(1800));
        }
        if (round == 35) {
            up(6, "Camera");
            page.event(event(WatchEvent::UP, 6, "Camera", 35), at(2100));
        }
        page.roundEnded(round, devices, facts, at(static_cast<int>(round) * 60));
    }
    // The printer: not watched for the first 20 minutes of the hour, up 30,
    // down the last 10.
    EXPECT_THAT(latest(), HasSubstr("aria-label=\"last hour: up 50%, down 17%, not watched 33%\"><title>last hour: up "
                                    "50%, down 17%, not watched 33%</title><rect class=\"up\" x=\"20\" width=\"30\" "
                                    "height=\"1\"/><rect class=\"down\" x=\"50\" width=\"10\" height=\"1\"/></svg>"));
    EXPECT_THAT(latest(), HasSubstr("<rect class=\"up\" x=\"54\" width=\"6\" height=\"1\"/></svg><span "
                                    "class=\"since\">up 6 min</span>"));
    EXPECT_THAT(latest(), Not(HasSubstr("<script"))) << "drawn by the page's style sheet alone";
    // Past the hour, the printer's strip is all down; one round both ways
    // is a stretch of its own colour.
    for (uint64_t round = 41; round <= 100; ++round)
        page.roundEnded(round, devices, facts, at(static_cast<int>(round) * 60));
    EXPECT_THAT(latest(), HasSubstr("<rect class=\"down\" x=\"0\" width=\"60\" height=\"1\"/>"));
    EXPECT_THAT(latest(), HasSubstr("up 1 h 06 min"));
    EXPECT_EQ(upForText(std::chrono::seconds(45)), "up 45 s");
    EXPECT_EQ(upForText(std::chrono::hours(50)), "up 2 d 2 h");
}
