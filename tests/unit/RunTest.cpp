// The discovery run's logic against the fake platform: what a namespace cannot
// provoke (failed open, bind, send, receive) and the run's bookkeeping.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

#include "Discovery.h"
#include "Err.h"
#include "FakePlatform.h"
#include "Run.h"
#include "Socket.h"

using BRIVO::Buffer;
using testing::ElementsAre;
using testing::IsEmpty;

namespace {

Buffer answer(const std::string& name, const std::string& url) {
    Buffer b{0x73, 0x46, 0x7A, 0x20, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    b.insert(b.end(), name.begin(), name.end());
    b.push_back(0);
    b.insert(b.end(), url.begin(), url.end());
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
    ~DiscoveryRun() override { BRIVO::socketLayerStarted = true; }

    int run(RunSettings settings = RunSettings()) {
        return runDiscovery(settings, out, err, [this](const std::string& url, std::string& why) {
            opened.push_back(url);
            if (openerFails) why = "not installed";
            return !openerFails;
        });
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
    bool openerFails = false;
};

TEST_F(DiscoveryRun, NoDeviceProbesThreeTimesWaitsOnceAndPrintsNothing) {
    EXPECT_EQ(run(), 0);
    EXPECT_THAT(fake.calls,
                ElementsAre("socket DATAGRAM", "setOption 7 BROADCAST 01 00 00 00", "nonBlocking 7 0",
                            "bind 7 0.0.0.0 port 00 00", "setOption 7 BROADCAST 01 00 00 00",
                            "sendTo 7 12 224.0.0.138 port 0D F8", "sleep 100",
                            "sendTo 7 12 224.0.0.138 port 0D F8", "sleep 100",
                            "sendTo 7 12 224.0.0.138 port 0D F8", "wait 7 0s 200000us", "shutdown 7",
                            "close 7"));
    const Buffer probe{0x73, 0x46, 0x7A, 0x20, 2, 0, 0, 0, 1, 0, 0, 0};
    EXPECT_THAT(fake.sent, ElementsAre(probe, probe, probe));
    EXPECT_EQ(out.str(), "");
    EXPECT_EQ(err.str(), "");
    EXPECT_THAT(opened, IsEmpty());
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
    EXPECT_EQ(callsStartingWith("sleep").size(), 2u);
    EXPECT_THAT(callsStartingWith("wait"), IsEmpty());
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

TEST_F(DiscoveryRun, EveryDatagramRestartsTheQuietWait) {
    for (int i = 0; i < 5; ++i) fake.arrivals.push_back(from(10, 0, 0, static_cast<uint8_t>(i + 1), answer("d", "http://d/"), 150));
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(callsStartingWith("wait").size(), 6u);
    EXPECT_EQ(opened.size(), 5u);
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
    // 5000 ms at one datagram every 150 ms: about 33 taken, the rest never read.
    EXPECT_GE(fake.arrivals.size(), 60u);
    EXPECT_LE(fake.now, 1000u + 200u + COLLECT_LIMIT_MS + 200u);
}

TEST_F(DiscoveryRun, ControlBytesAreEscapedInTheLineButNotForTheOpener) {
    fake.arrivals = {from(10, 0, 0, 1, answer("\x1b[2Jevil\nName:fake", "http://x/\x7f\xc3\xa9"))};
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(out.str(), "Name:\\x1B[2Jevil\\x0AName:fake URL:http://x/\\x7F\xc3\xa9\n");
    EXPECT_THAT(opened, ElementsAre("http://x/\x7f\xc3\xa9"));
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

TEST(TerminalEscape, OnlyControlBytesAndDelete) {
    EXPECT_EQ(escapeForTerminal(std::string("a\0b\x1f \x7f~\x80\xff", 9)), "a\\x00b\\x1F \\x7F~\x80\xff");
}
