// A whole discovery run against the fake platform: the exact calls of a run
// (the one sequence pinned here), what it finds and in which order, when it
// ends, and what a namespace cannot provoke (failed open, bind, send,
// receive, start-up).

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "FakePlatform.h"
#include "app/discovery/Discovery.h"
#include "app/wire/Messages.h"

using namespace webfind;

using BRIVO::Buffer;
using testing::ElementsAre;
using testing::HasSubstr;
using testing::IsEmpty;

namespace {

Buffer answer(const std::string& name, const std::string& url) {
    Buffer b;
    buildAnswer(b, name, url);
    return b;
}

FakePlatform::Arrival from(uint8_t a, uint8_t b, uint8_t c, uint8_t d, const Buffer& bytes, uint64_t afterMs = 1,
                           uint16_t port = 3576) {
    return {static_cast<long>(bytes.size()), bytes, addressV4(a, b, c, d, port), afterMs};
}

FakePlatform::Arrival failure(uint64_t afterMs = 1) { return {-1, Buffer{}, addressV4(0, 0, 0, 0, 0), afterMs}; }

// The devices as "address name url" lines, in table order.
std::string found(const DeviceTable& devices) {
    std::string text;
    for (const auto& entry : devices)
        text += entry.first.text() + " " + entry.second.name + " " + entry.second.url + "\n";
    return text;
}

class DiscoveryRun : public FakePlatformTest {
protected:
    RunResult run() { return Discovery(settings).run(); }
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

    RunSettings settings;
    std::ostringstream log;
};

}  // namespace

TEST_F(DiscoveryRun, NoDeviceProbesThreeTimesListensThroughThePausesAndFindsNothing) {
    RunResult result = run();
    EXPECT_FALSE(result.failed());
    EXPECT_THAT(fake.calls,
                ElementsAre("socket DATAGRAM", "setOption 7 BROADCAST 01 00 00 00", "nonBlocking 7 0",
                            "bind 7 0.0.0.0 port 00 00", "setOption 7 BROADCAST 01 00 00 00",
                            "setOption 7 RECEIVE_BUFFER 00 00 80 00", "sendTo 7 12 224.0.0.138 port 0D F8",
                            "wait 7 0s 100000us", "sendTo 7 12 224.0.0.138 port 0D F8", "wait 7 0s 100000us",
                            "sendTo 7 12 224.0.0.138 port 0D F8", "wait 7 0s 200000us", "shutdown 7", "close 7"));
    EXPECT_EQ(fake.now, 1000u + 400u);
    Buffer probe;
    buildProbe(probe);
    EXPECT_THAT(fake.sent, ElementsAre(probe, probe, probe));
    EXPECT_TRUE(result.devices.empty());
    EXPECT_EQ(result.report.answered, 0u);
}

TEST_F(DiscoveryRun, TheSocketStaysOpenUntilTheRunIsDestroyed) {
    {
        Discovery discovery(settings);
        RunResult result = discovery.run();
        EXPECT_EQ(fake.calls.back(), "wait 7 0s 200000us") << "still open while the devices are shown";
    }
    EXPECT_THAT(callsStartingWith("close"), ElementsAre("close 7"));
}

TEST_F(DiscoveryRun, ListsInAddressOrderAndTheFirstValidAnswerWins) {
    fake.arrivals = {
        from(192, 168, 1, 100, answer("Hundred", "http://192.168.1.100/")),
        from(192, 168, 1, 20, Buffer{1, 2, 3}),                             // rejected first
        from(192, 168, 1, 20, answer("Twenty", "https://192.168.1.20/")),   // then valid
        from(192, 168, 1, 100, answer("Again", "http://other/"), 1, 9999),  // repeat, other port
        from(10, 0, 0, 9, answer("", "http://10.0.0.9/")),
    };
    RunResult result = run();
    EXPECT_EQ(found(result.devices),
              "10.0.0.9  http://10.0.0.9/\n"
              "192.168.1.20 Twenty https://192.168.1.20/\n"
              "192.168.1.100 Hundred http://192.168.1.100/\n");
    EXPECT_EQ(result.report.datagrams, 5u);
    EXPECT_EQ(result.report.answered, 3u);
}

TEST_F(DiscoveryRun, PatternsKeepTheMatchingDevicesAndCountTheOthers) {
    settings.filter = DeviceFilter({"print"});
    fake.arrivals = {from(10, 0, 0, 1, answer("Camera", "http://c/")),
                     from(10, 0, 0, 2, answer("Printer", "http://p/")),
                     from(10, 0, 0, 1, answer("Camera", "http://c/"))};
    RunResult result = run();
    EXPECT_EQ(found(result.devices), "10.0.0.2 Printer http://p/\n");
    EXPECT_EQ(result.report.answered, 2u) << "the camera answered too, and only once";
}

TEST_F(DiscoveryRun, FirstEndsAtTheFirstMatchingAnswerAndFindsItAlone) {
    settings.stopAtFirst = true;
    settings.filter = DeviceFilter({"printer"});
    fake.arrivals = {from(10, 0, 0, 9, answer("Router", "http://r/"), 10),
                     from(10, 0, 0, 7, answer("Office Printer", "http://p/"), 10),
                     from(10, 0, 0, 8, answer("Printer 2", "http://q/"), 10)};
    RunResult result = run();
    EXPECT_EQ(found(result.devices), "10.0.0.7 Office Printer http://p/\n");
    EXPECT_EQ(fake.sent.size(), 1u) << "no probe after the answer";
    EXPECT_EQ(fake.now, 1000u + 20u) << "no wait after the answer";
    EXPECT_EQ(fake.arrivals.size(), 1u) << "nothing read after it";
}

TEST_F(DiscoveryRun, SetUpFailuresEndItBeforeSending) {
    fake.socketFails = true;
    EXPECT_EQ(run().report.failedStep, SocketStep::OPEN);
    EXPECT_THAT(fake.sent, IsEmpty());

    fake.socketFails = false;
    fake.bindResult = -1;
    fake.error = {BRIVO::SocketError::ADDRESS_IN_USE, 98, "Address already in use"};
    RunResult bound = run();
    EXPECT_EQ(bound.report.failedStep, SocketStep::BIND);
    EXPECT_EQ(bound.report.why.cause, FailureReason::ADDRESS_IN_USE);
    EXPECT_THAT(fake.sent, IsEmpty());
    EXPECT_STREQ(failureMessage(SocketStep::OPEN), "Socket Open Err");
    EXPECT_STREQ(failureMessage(SocketStep::BIND), "Socket Bind Err");
}

TEST_F(DiscoveryRun, AStartupFailureIsAResultNotAnException) {
    BRIVO::socketLayerStarted = false;
    fake.startupResult = 1;
    testing::internal::CaptureStderr();
    RunResult result = run();
    EXPECT_THAT(testing::internal::GetCapturedStderr(), HasSubstr("BRIVO ASSERT[src\\Network\\Socket]Line:68"));
    EXPECT_EQ(result.report.failedStep, SocketStep::STARTUP);
    EXPECT_STREQ(failureMessage(SocketStep::STARTUP), "") << "the assertion line says it all";
    EXPECT_THAT(fake.sent, IsEmpty());
}

TEST_F(DiscoveryRun, SendFailingAtTheThirdProbeReceivesNothingMore) {
    fake.sendResults = {12, 12, -1};
    fake.error = {BRIVO::SocketError::NO_ROUTE, 101, "Network is unreachable"};
    RunResult result = run();
    EXPECT_EQ(result.report.failedStep, SocketStep::SEND);
    EXPECT_EQ(result.report.why.cause, FailureReason::NO_ROUTE);
    EXPECT_EQ(result.report.why.text, "Network is unreachable");
    EXPECT_STREQ(failureMessage(result.report.failedStep), "Socket Send Err");
    EXPECT_EQ(fake.sent.size(), 3u);
    EXPECT_EQ(fake.now, 1000u + 200u) << "the two pauses, nothing after the failure";
}

TEST_F(DiscoveryRun, AReceiveFailureDropsEverythingCollected) {
    fake.arrivals = {from(10, 0, 0, 1, answer("a", "http://a/")), from(10, 0, 0, 2, answer("b", "http://b/")),
                     from(10, 0, 0, 3, answer("c", "http://c/")), failure()};
    RunResult result = run();
    EXPECT_EQ(result.report.failedStep, SocketStep::RECEIVE);
    EXPECT_STREQ(failureMessage(result.report.failedStep), "Socket Receive Err");
    EXPECT_TRUE(result.devices.empty());
}

TEST_F(DiscoveryRun, AReceiveFailureWhileDrainingOrInAPauseEndsItToo) {
    fake.arrivals = {from(10, 0, 0, 1, answer("a", "http://a/"), 1), from(10, 0, 0, 2, answer("b", "http://b/"), 0),
                     failure(0)};
    EXPECT_EQ(run().report.failedStep, SocketStep::RECEIVE);

    fake.arrivals = {from(10, 0, 0, 1, answer("a", "http://a/"), 5), failure(5)};
    fake.sent.clear();
    RunResult result = run();
    EXPECT_EQ(result.report.failedStep, SocketStep::RECEIVE);
    EXPECT_EQ(fake.sent.size(), 1u) << "no probe after the failure in the first pause";
}

TEST_F(DiscoveryRun, EmptyOrOversizedDatagramsAreCountedAndIgnored) {
    fake.arrivals = {from(10, 0, 0, 1, answer("a", "http://a/")),
                     {0, Buffer{}, addressV4(6, 6, 6, 6, 1), 1},
                     {70000, Buffer(1500, 0), addressV4(6, 6, 6, 6, 1), 1},
                     from(10, 0, 0, 2, answer("b", "http://b/"))};
    RunResult result = run();
    EXPECT_EQ(found(result.devices), "10.0.0.1 a http://a/\n10.0.0.2 b http://b/\n");
    EXPECT_EQ(result.report.datagrams, 4u);
}

TEST_F(DiscoveryRun, EveryDatagramRestartsTheQuietWait) {
    fake.arrivals.push_back(from(10, 0, 0, 1, answer("d", "http://d/"), 250));  // after the probes
    for (int i = 1; i < 5; ++i)
        fake.arrivals.push_back(from(10, 0, 0, static_cast<uint8_t>(i + 1), answer("d", "http://d/"), 190));
    EXPECT_EQ(run().devices.size(), 5u);
    EXPECT_EQ(fake.now, 1000u + 200u + 50u + 4 * 190u + 200u);
}

TEST_F(DiscoveryRun, AnswersDuringThePausesAreTakenAndTheProbesStillLeave100msApart) {
    fake.arrivals = {from(10, 0, 0, 2, answer("early", "http://e/"), 10),
                     from(10, 0, 0, 1, answer("later", "http://l/"), 120)};
    RunResult result = run();
    EXPECT_EQ(found(result.devices), "10.0.0.1 later http://l/\n10.0.0.2 early http://e/\n");
    EXPECT_EQ(fake.sendTimes, (std::vector<uint64_t>{1000, 1100, 1200}));
}

TEST_F(DiscoveryRun, CollectingStopsAtTheLimitEvenIfDatagramsKeepComing) {
    for (int i = 0; i < 100; ++i) fake.arrivals.push_back(from(10, 0, 0, 1, answer("chatty", "http://c/"), 150));
    EXPECT_EQ(found(run().devices), "10.0.0.1 chatty http://c/\n");
    // Collecting began 200 ms in and ended at its limit; the rest never read.
    EXPECT_EQ(fake.now, 1000u + 200u + static_cast<uint64_t>(Timings{}.collectLimit.count()));
    EXPECT_GE(fake.arrivals.size(), 60u);
}

TEST_F(DiscoveryRun, ProbesGoOutOfEachChosenInterface) {
    settings.session.interfaces = {{"eth0", Address{{192, 168, 1, 5}}}, {"wlan0", Address{{10, 0, 0, 7}}}};
    run();
    std::vector<std::string> perRound(fake.calls.begin() + 6, fake.calls.begin() + 10);
    EXPECT_THAT(perRound,
                ElementsAre("setOption 7 MULTICAST_INTERFACE C0 A8 01 05", "sendTo 7 12 224.0.0.138 port 0D F8",
                            "setOption 7 MULTICAST_INTERFACE 0A 00 00 07", "sendTo 7 12 224.0.0.138 port 0D F8"));
    EXPECT_EQ(fake.sent.size(), 6u);
}

TEST_F(DiscoveryRun, TheDeviceTableIsBoundedAndSaysSoOnce) {
    settings.limits.devices = 2;
    settings.log = &log;
    for (uint8_t i = 1; i <= 4; ++i) fake.arrivals.push_back(from(10, 0, 0, i, answer("d", "http://d/")));
    EXPECT_EQ(run().devices.size(), 2u);
    std::string text = log.str();
    size_t first = text.find("device table full (at most 2 devices");
    EXPECT_NE(first, std::string::npos);
    EXPECT_EQ(text.find("device table full", first + 1), std::string::npos) << "said more than once";
}

TEST_F(DiscoveryRun, VerboseGivesEachProbeAndDatagramItsLine) {
    settings.log = &log;
    fake.arrivals = {from(10, 0, 0, 1, Buffer{1, 2, 3}),
                     from(10, 0, 0, 1, answer("a", "ftp://a/")),
                     from(10, 0, 0, 1, answer("a", "http://a/")),
                     from(10, 0, 0, 1, answer("b", "http://b/"), 1, 4000),
                     {0, Buffer{}, addressV4(10, 0, 0, 2, 1), 1}};
    run();
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

TEST_F(DiscoveryRun, VerboseSaysWhenNothingAnsweredAndWhereItProbed) {
    settings.log = &log;
    settings.session.interfaces = {{"eth1", Address{{10, 1, 0, 2}}}};
    run();
    EXPECT_THAT(log.str(), HasSubstr("webfind: probe to 224.0.0.138:3576 via eth1 (10.1.0.2)\n"));
    EXPECT_THAT(log.str(), HasSubstr("webfind: no device answered (probed via eth1 (10.1.0.2))\n"));
}
