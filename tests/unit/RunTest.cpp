// The discovery run's logic against the fake platform: what a namespace cannot
// provoke (failed open, bind, send, receive) and the run's bookkeeping.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "app/Discovery.h"
#include "Network/Err.h"
#include "FakePlatform.h"
#include "Unescape.h"
#include "app/Present.h"
#include "app/Run.h"
#include "Network/Socket.h"

using namespace webfind;

using BRIVO::Buffer;
using testing::ElementsAre;
using testing::IsEmpty;

namespace {

Buffer answer(const std::string& name, const std::string& url) {
    Buffer b;
    buildAnswer(b, name, url);
    return b;
}

FakePlatform::Arrival from(uint8_t a, uint8_t b, uint8_t c, uint8_t d, const Buffer& bytes,
                           uint64_t afterMs = 1, uint16_t port = 3576) {
    return {static_cast<long>(bytes.size()), bytes, addressV4(a, b, c, d, port), afterMs};
}

}  // namespace

class DiscoveryRun : public testing::Test {
protected:
    DiscoveryRun() : use(fake.table()) { BRIVO::socketLayerStarted = true; }
    ~DiscoveryRun() override { BRIVO::socketLayerStarted = realStarted; }

    const bool realStarted = BRIVO::socketLayerStarted;
    int run(RunSettings settings = RunSettings()) {
        Desktop desktop{[this](std::string& why) {
                            why = "no graphical session";
                            return hasDesktop;
                        },
                        [this](const std::string& url, std::string& why) {
                            opened.push_back(url);
                            if (openerFails) why = "not installed";
                            return !openerFails;
                        },
                        [this](const std::function<void(std::ostream&)>& write, std::string& location,
                               std::string& why) {
                            if (pageFails) {
                                why = "disk full";
                                return false;
                            }
                            std::ostringstream page;
                            write(page);
                            pages.push_back(page.str());
                            location = "file:///run/user/1000/webfind/page.html";
                            return true;
                        }};
        return runDiscovery(settings, out, [&](const DeviceTable& devices) {
            listDevices(devices, out, err, &desktop, pageWanted);
        });
    }
    void answerFrom(int devices) {
        for (int i = 1; i <= devices; ++i)
            fake.arrivals.push_back(from(10, 0, 1, static_cast<uint8_t>(i), answer("d", "http://d/")));
    }
    std::vector<std::string> callsStartingWith(const std::string& prefix) const {
        std::vector<std::string> matching;
        for (const auto& c : fake.calls)
            if (c.rfind(prefix, 0) == 0) matching.push_back(c);
        return matching;
    }

    FakePlatform fake;
    BRIVO::PlatformOverride use;
    std::ostringstream out, err;
    std::vector<std::string> opened;
    std::vector<std::string> pages;
    bool openerFails = false;
    bool pageFails = false;
    bool pageWanted = false;
    bool hasDesktop = true;
};

TEST_F(DiscoveryRun, NoDeviceProbesThreeTimesListensThroughThePausesAndPrintsNothing) {
    EXPECT_EQ(run(), 0);
    EXPECT_THAT(fake.calls,
                ElementsAre("socket DATAGRAM", "setOption 7 BROADCAST 01 00 00 00", "nonBlocking 7 0",
                            "bind 7 0.0.0.0 port 00 00", "setOption 7 BROADCAST 01 00 00 00",
                            "setOption 7 RECEIVE_BUFFER 00 00 80 00",
                            "sendTo 7 12 224.0.0.138 port 0D F8", "wait 7 0s 100000us",
                            "sendTo 7 12 224.0.0.138 port 0D F8", "wait 7 0s 100000us",
                            "sendTo 7 12 224.0.0.138 port 0D F8", "wait 7 0s 200000us", "shutdown 7",
                            "close 7"));
    EXPECT_EQ(fake.now, 1000u + 400u);
    Buffer probe;
    buildProbe(probe);
    EXPECT_THAT(fake.sent, ElementsAre(probe, probe, probe));
    EXPECT_EQ(out.str(), "");
    EXPECT_EQ(err.str(), "");
    EXPECT_THAT(opened, IsEmpty());
}

TEST_F(DiscoveryRun, FirstEndsAtTheFirstMatchingAnswerAndPresentsItAlone) {
    RunSettings settings;
    settings.stopAtFirst = true;
    settings.patterns = {"printer"};
    fake.arrivals = {from(10, 0, 0, 9, answer("Router", "http://r/"), 10),
                     from(10, 0, 0, 7, answer("Office Printer", "http://p/"), 10),
                     from(10, 0, 0, 8, answer("Printer 2", "http://q/"), 10)};
    EXPECT_EQ(run(settings), 0);
    EXPECT_EQ(out.str(), "Name:Office Printer URL:http://p/\n");
    EXPECT_EQ(fake.sent.size(), 1u) << "no probe after the answer";
    EXPECT_EQ(fake.now, 1000u + 20u) << "no wait after the answer";
    EXPECT_EQ(fake.arrivals.size(), 1u) << "nothing read after it";
}

TEST_F(DiscoveryRun, SetUpFailuresEndWithMinusOneBeforeSending) {
    fake.socketFails = true;
    EXPECT_EQ(run(), -1);
    EXPECT_EQ(out.str(), "Socket Open Err\n");
    EXPECT_THAT(fake.sent, IsEmpty());

    fake.socketFails = false;
    fake.bindResult = -1;
    out.str("");
    EXPECT_EQ(run(), -1);
    EXPECT_EQ(out.str(), "Socket Bind Err\n");
    EXPECT_THAT(fake.sent, IsEmpty());
}

TEST_F(DiscoveryRun, SendFailingAtTheThirdProbeReceivesNothing) {
    fake.sendResults = {12, 12, -1};
    EXPECT_EQ(run(), -1);
    EXPECT_EQ(out.str(), "Socket Send Err\n");
    EXPECT_EQ(fake.sent.size(), 3u);
    // Only the two pauses were waited through; nothing after the failure.
    EXPECT_THAT(callsStartingWith("wait"), ElementsAre("wait 7 0s 100000us", "wait 7 0s 100000us"));
    EXPECT_EQ(fake.now, 1000u + 200u);
}

TEST_F(DiscoveryRun, ReceiveFailureDropsEverythingCollected) {
    fake.arrivals = {from(10, 0, 0, 1, answer("a", "http://a/")), from(10, 0, 0, 2, answer("b", "http://b/")),
                     from(10, 0, 0, 3, answer("c", "http://c/")), {-1, Buffer{}, addressV4(0, 0, 0, 0, 0), 1}};
    EXPECT_EQ(run(), -1);
    EXPECT_EQ(out.str(), "Socket Receive Err\n");
    EXPECT_THAT(opened, IsEmpty());
}

TEST_F(DiscoveryRun, ListsInAddressOrderFirstValidAnswerWins) {
    fake.arrivals = {
        from(192, 168, 1, 100, answer("Hundred", "http://192.168.1.100/")),
        from(192, 168, 1, 20, Buffer{1, 2, 3}),                               // rejected first
        from(192, 168, 1, 20, answer("Twenty", "https://192.168.1.20/")),     // then valid
        from(192, 168, 1, 100, answer("Again", "http://other/"), 1, 9999),    // repeat, other port
        from(10, 0, 0, 9, answer("", "http://10.0.0.9/")),
    };
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(out.str(),
              "Name: URL:http://10.0.0.9/\n"
              "Name:Twenty URL:https://192.168.1.20/\n"
              "Name:Hundred URL:http://192.168.1.100/\n");
    EXPECT_THAT(opened, ElementsAre("http://10.0.0.9/", "https://192.168.1.20/", "http://192.168.1.100/"));
}

TEST_F(DiscoveryRun, WaitingAnswersAreDrainedInBatchesWithTheSameRules) {
    fake.arrivals.push_back(from(10, 0, 0, 200, answer("first", "http://first/"), 1));
    for (int i = 1; i <= 150; ++i) fake.arrivals.push_back(from(10, 0, 1, static_cast<uint8_t>(i), answer("d", "http://d/"), 0));
    fake.arrivals.push_back({0, Buffer{}, addressV4(6, 6, 6, 6, 1), 0});
    fake.arrivals.push_back(from(10, 0, 0, 200, answer("second", "http://second/"), 0));
    fake.arrivals.push_back(from(10, 0, 0, 201, Buffer{1, 2}, 0));
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(pages.size(), 1u);
    const std::string listing = out.str();
    EXPECT_EQ(std::count(listing.begin(), listing.end(), '\n'), 151);
    EXPECT_NE(listing.find("Name:first URL:http://first/\n"), std::string::npos);
    EXPECT_EQ(listing.find("second"), std::string::npos);
    // 154 waiting datagrams: three full batches of 64 would be 192.
    EXPECT_EQ(callsStartingWith("receiveWaiting").size(), 3u);
}

TEST_F(DiscoveryRun, ACrowdEarnsANapThatCountsAsPartOfTheQuietWait) {
    fake.arrivals.push_back(from(10, 0, 0, 200, answer("first", "http://first/"), 250));
    for (int i = 1; i <= 20; ++i) fake.arrivals.push_back(from(10, 0, 1, static_cast<uint8_t>(i), answer("d", "http://d/"), 0));
    EXPECT_EQ(run(), 0);
    const size_t nap = std::find(fake.calls.begin(), fake.calls.end(), "sleep 1") - fake.calls.begin();
    ASSERT_LT(nap, fake.calls.size()) << "no nap after 21 datagrams at once";
    EXPECT_EQ(fake.calls[nap + 1], "wait 7 0s 199000us") << "the nap is taken from the quiet wait";
    EXPECT_EQ(fake.now, 1000u + 200u + 50u + 1u + 199u);
}

TEST_F(DiscoveryRun, AFewDatagramsAtOnceAreNoCrowd) {
    fake.arrivals.push_back(from(10, 0, 0, 200, answer("first", "http://first/"), 250));
    for (int i = 1; i <= 3; ++i) fake.arrivals.push_back(from(10, 0, 1, static_cast<uint8_t>(i), answer("d", "http://d/"), 0));
    EXPECT_EQ(run(), 0);
    EXPECT_THAT(callsStartingWith("sleep"), IsEmpty());
    EXPECT_EQ(fake.now, 1000u + 200u + 50u + 200u);
}

TEST_F(DiscoveryRun, FailureWhileDrainingEndsTheRun) {
    fake.arrivals = {from(10, 0, 0, 1, answer("a", "http://a/"), 1), from(10, 0, 0, 2, answer("b", "http://b/"), 0),
                     {-1, Buffer{}, addressV4(0, 0, 0, 0, 0), 0}};
    EXPECT_EQ(run(), -1);
    EXPECT_EQ(out.str(), "Socket Receive Err\n");
    EXPECT_THAT(opened, IsEmpty());
}

TEST_F(DiscoveryRun, EveryDatagramRestartsTheQuietWait) {
    fake.arrivals.push_back(from(10, 0, 0, 1, answer("d", "http://d/"), 250));  // after the probes
    for (int i = 1; i < 5; ++i) fake.arrivals.push_back(from(10, 0, 0, static_cast<uint8_t>(i + 1), answer("d", "http://d/"), 190));
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(opened.size(), 5u);
    EXPECT_EQ(fake.now, 1000u + 200u + 50u + 4 * 190u + 200u);
}

TEST_F(DiscoveryRun, AnswersDuringThePausesAreTakenAndProbesStillLeave100msApart) {
    fake.arrivals = {from(10, 0, 0, 2, answer("early", "http://e/"), 10), from(10, 0, 0, 1, answer("later", "http://l/"), 120)};
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(out.str(), "Name:later URL:http://l/\nName:early URL:http://e/\n");
    std::vector<std::string> sendsAndWaits;
    for (const auto& c : fake.calls)
        if (c.rfind("sendTo", 0) == 0 || c.rfind("wait", 0) == 0) sendsAndWaits.push_back(c);
    EXPECT_THAT(sendsAndWaits, ElementsAre("sendTo 7 12 224.0.0.138 port 0D F8", "wait 7 0s 100000us",
                                           "wait 7 0s 90000us", "sendTo 7 12 224.0.0.138 port 0D F8",
                                           "wait 7 0s 100000us", "wait 7 0s 70000us",
                                           "sendTo 7 12 224.0.0.138 port 0D F8", "wait 7 0s 200000us"));
}

TEST_F(DiscoveryRun, ProbesGoOutOfEachChosenInterface) {
    RunSettings settings;
    settings.interfaces = {{"eth0", {192, 168, 1, 5}}, {"wlan0", {10, 0, 0, 7}}};
    EXPECT_EQ(run(settings), 0);
    std::vector<std::string> perRound(fake.calls.begin() + 6, fake.calls.begin() + 10);
    EXPECT_THAT(perRound, ElementsAre("setOption 7 MULTICAST_INTERFACE C0 A8 01 05",
                                      "sendTo 7 12 224.0.0.138 port 0D F8",
                                      "setOption 7 MULTICAST_INTERFACE 0A 00 00 07",
                                      "sendTo 7 12 224.0.0.138 port 0D F8"));
    EXPECT_EQ(fake.sent.size(), 6u);
}

TEST_F(DiscoveryRun, FailedReceiveDuringAPauseEndsTheRun) {
    fake.arrivals = {from(10, 0, 0, 1, answer("a", "http://a/"), 5), {-1, Buffer{}, addressV4(0, 0, 0, 0, 0), 5}};
    EXPECT_EQ(run(), -1);
    EXPECT_EQ(out.str(), "Socket Receive Err\n");
    EXPECT_EQ(fake.sent.size(), 1u);
}

TEST_F(DiscoveryRun, EmptyOrOversizedDatagramIsIgnored) {
    fake.arrivals = {from(10, 0, 0, 1, answer("a", "http://a/")), {0, Buffer{}, addressV4(6, 6, 6, 6, 1), 1},
                     {70000, Buffer(1500, 0), addressV4(6, 6, 6, 6, 1), 1},
                     from(10, 0, 0, 2, answer("b", "http://b/"))};
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(out.str(), "Name:a URL:http://a/\nName:b URL:http://b/\n");
}

TEST_F(DiscoveryRun, CollectingStopsAtTheLimitEvenIfDatagramsKeepComing) {
    for (int i = 0; i < 100; ++i) fake.arrivals.push_back(from(10, 0, 0, 1, answer("chatty", "http://c/"), 150));
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(out.str(), "Name:chatty URL:http://c/\n");
    // Collecting began 200 ms in and ended at its limit; the rest never read.
    EXPECT_EQ(fake.now, 1000u + 200u + static_cast<uint64_t>(COLLECT_LIMIT.count()));
    EXPECT_GE(fake.arrivals.size(), 60u);
}

TEST_F(DiscoveryRun, ControlBytesAreEscapedInTheLine) {
    fake.arrivals = {from(10, 0, 0, 1, answer("\x1b[2Jevil\nName:fake", "http://x/\x7f\xc3\xa9")),
                     from(10, 0, 0, 2, answer("\x1b]0;title\x07", "http://y/\xc3\xa9"))};
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(out.str(),
              "Name:\\x1B[2Jevil\\x0AName:fake URL:http://x/\\x7F\xc3\xa9\n"
              "Name:\\x1B]0;title\\x07 URL:http://y/\xc3\xa9\n");
    // The opener gets the URL as received (the first is not safe to open).
    EXPECT_THAT(opened, ElementsAre("http://y/\xc3\xa9"));
}

TEST_F(DiscoveryRun, OpenerFailureStillListsTheDevice) {
    openerFails = true;
    fake.arrivals = {from(10, 0, 0, 1, answer("a", "http://a/"))};
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(out.str(), "Name:a URL:http://a/\n");
    EXPECT_EQ(err.str(), "webfind: could not open http://a/: not installed\n");
}

TEST_F(DiscoveryRun, StartupFailureLeavesTheRunAsErr) {
    BRIVO::socketLayerStarted = false;
    fake.startupResult = 1;
    testing::internal::CaptureStderr();
    EXPECT_THROW(run(), BRIVO::Err);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(out.str(), "");
}

TEST_F(DiscoveryRun, DeviceTableIsBounded) {
    RunSettings settings;
    settings.maxDevices = 2;
    std::ostringstream log;
    settings.log = &log;
    for (uint8_t i = 1; i <= 4; ++i) fake.arrivals.push_back(from(10, 0, 0, i, answer("d", "http://d/")));
    EXPECT_EQ(run(settings), 0);
    EXPECT_EQ(opened.size(), 2u);
    EXPECT_EQ(out.str(), "Name:d URL:http://d/\nName:d URL:http://d/\n");
    std::string text = log.str();
    size_t first = text.find("device table full");
    EXPECT_NE(first, std::string::npos);
    EXPECT_EQ(text.find("device table full", first + 1), std::string::npos) << "said more than once";
}

TEST_F(DiscoveryRun, VerboseGivesEachDatagramItsVerdict) {
    RunSettings settings;
    std::ostringstream log;
    settings.log = &log;
    fake.arrivals = {from(10, 0, 0, 1, Buffer{1, 2, 3}),
                     from(10, 0, 0, 1, answer("a", "ftp://a/")),
                     from(10, 0, 0, 1, answer("a", "http://a/")),
                     from(10, 0, 0, 1, answer("b", "http://b/"), 1, 4000),
                     {0, Buffer{}, addressV4(10, 0, 0, 2, 1), 1}};
    EXPECT_EQ(run(settings), 0);
    EXPECT_EQ(log.str(),
              "webfind: probe to 224.0.0.138:3576 via the system's default interface\n"
              "webfind: 10.0.0.1:3576 3 bytes: rejected: too short\n"
              "webfind: 10.0.0.1:3576 26 bytes: rejected: URL is not http or https\n"
              "webfind: 10.0.0.1:3576 27 bytes: accepted\n"
              "webfind: 10.0.0.1:4000 27 bytes: duplicate of an earlier answer\n"
              "webfind: datagram discarded: empty or longer than 1500 bytes\n"
              "webfind: probe to 224.0.0.138:3576 via the system's default interface\n"
              "webfind: probe to 224.0.0.138:3576 via the system's default interface\n");
}

TEST_F(DiscoveryRun, VerboseSaysWhenNothingAnswered) {
    RunSettings settings;
    std::ostringstream log;
    settings.log = &log;
    settings.interfaces = {{"eth1", {10, 1, 0, 2}}};
    EXPECT_EQ(run(settings), 0);
    EXPECT_NE(log.str().find("webfind: no device answered (probed via eth1 (10.1.0.2))\n"), std::string::npos);
}

TEST_F(DiscoveryRun, UnsafeUrlsAreListedButNotOpened) {
    fake.arrivals = {from(10, 0, 0, 1, answer("q", "http://a/\"onclick")), from(10, 0, 0, 2, answer("s", "http://a b/")),
                     from(10, 0, 0, 3, answer("ok", "http://ok/\xc3\xa9"))};
    EXPECT_EQ(run(), 0);
    EXPECT_THAT(opened, ElementsAre("http://ok/\xc3\xa9"));
    EXPECT_EQ(out.str(), "Name:q URL:http://a/\"onclick\nName:s URL:http://a b/\nName:ok URL:http://ok/\xc3\xa9\n");
    EXPECT_NE(err.str().find("not opening the URL of 10.0.0.1"), std::string::npos);
    EXPECT_NE(err.str().find("not opening the URL of 10.0.0.2"), std::string::npos);
}

TEST_F(DiscoveryRun, MoreThan32UrlsOpenOnePageInstead) {
    answerFrom(40);
    EXPECT_EQ(run(), 0);
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_THAT(opened, ElementsAre("file:///run/user/1000/webfind/page.html"));
    const std::string& page = pages.front();
    size_t rows = 0;
    for (size_t at = page.find("<tr><td"); at != std::string::npos; at = page.find("<tr><td", at + 1)) ++rows;
    EXPECT_EQ(rows, 40u);
    const std::string listing = out.str();
    EXPECT_EQ(std::count(listing.begin(), listing.end(), '\n'), 40) << "the listing is the same";
    EXPECT_EQ(err.str(), "webfind: opened one page listing 40 devices: file:///run/user/1000/webfind/page.html\n");
}

TEST_F(DiscoveryRun, UpTo32UrlsOpenOneByOneAndUnsafeOnesDoNotCount) {
    answerFrom(32);
    fake.arrivals.push_back(from(10, 0, 2, 1, answer("q", "http://a/\"onclick")));
    EXPECT_EQ(run(), 0);
    EXPECT_TRUE(pages.empty());
    EXPECT_EQ(opened.size(), 32u);
}

TEST_F(DiscoveryRun, AskedForThePageItIsOpenedForAFewDevicesToo) {
    pageWanted = true;
    answerFrom(3);
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(pages.size(), 1u);
    EXPECT_THAT(opened, ElementsAre("file:///run/user/1000/webfind/page.html"));

    // With none found there is no page.
    pages.clear();
    opened.clear();
    EXPECT_EQ(run(), 0);
    EXPECT_TRUE(pages.empty());
    EXPECT_TRUE(opened.empty());
}

TEST_F(DiscoveryRun, APageThatCannotBeWrittenFallsBackToAtMost32Urls) {
    pageFails = true;
    answerFrom(40);
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(opened.size(), MAX_OPENED_URLS);
    const std::string listing = out.str();
    EXPECT_EQ(std::count(listing.begin(), listing.end(), '\n'), 40);
    EXPECT_EQ(err.str(),
              "webfind: could not write the page of devices (disk full); opening the URLs one by one\n"
              "webfind: 8 more URLs were not opened (at most 32 per run); --no-open or --json list them all\n");
}

TEST_F(DiscoveryRun, WithoutADesktopNothingIsOpenedAndThatIsSaidOnce) {
    hasDesktop = false;
    fake.arrivals = {from(10, 0, 0, 1, answer("a", "http://a/")), from(10, 0, 0, 2, answer("b", "http://b/"))};
    EXPECT_EQ(run(), 0);
    EXPECT_THAT(opened, IsEmpty());
    EXPECT_EQ(out.str(), "Name:a URL:http://a/\nName:b URL:http://b/\n");
    EXPECT_EQ(err.str(), "webfind: no graphical session; URLs are not opened\n");
}

TEST(SafeUrl, RejectsWhatAUrlNeverHoldsUnescaped) {
    EXPECT_TRUE(safeToOpen("https://192.168.1.20:8443/a?b=c&d=%20#frag"));
    EXPECT_TRUE(safeToOpen("http://x/\x80\xff"));
    for (char bad : std::string("\"<>\\^`{|} \x7f\x01\t", 13))
        EXPECT_FALSE(safeToOpen(std::string("http://x/") + bad)) << int(bad);
}

TEST(TerminalEscape, OnlyControlBytesDeleteAndFakeEscapes) {
    EXPECT_EQ(escapeForTerminal(std::string("a\0b\x1f \x7f~\x80\xff", 9)), "a\\x00b\\x1F \\x7F~\x80\xff");
    EXPECT_EQ(escapeForTerminal("DOMAIN\\host \\\\"), "DOMAIN\\host \\\\");
    EXPECT_EQ(escapeForTerminal("fake \\x1B[2J"), "fake \\x5Cx1B[2J");
}

TEST(TerminalEscape, ReadsBackToTheExactBytes) {
    for (const std::string& text : {std::string("plain"), std::string("\\x41\\\\x\\"), std::string("\x1b[31m\n\\x", 9),
                                    std::string("\0\x7f\xc3\xa9\\", 5)})
        EXPECT_EQ(unescapeFromTerminal(escapeForTerminal(text)), text);
}
