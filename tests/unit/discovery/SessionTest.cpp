// The session on the fake platform's virtual clock: every datagram reaches
// the sink whole, in order, crowds included; the quiet wait ends on time;
// waits are short enough to see a stop request.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "FakePlatform.h"
#include "app/discovery/Session.h"

using namespace webfind;

using BRIVO::Buffer;
using testing::ElementsAre;
using testing::IsEmpty;

namespace {

// Records what it is handed; says stop after `stopAfter` datagrams.
class RecordingSink : public DatagramSink {
public:
    bool take(const Datagram& d) override {
        taken.push_back(d.source.text() + ":" + std::to_string(d.sourcePort) + " " +
                        (d.deliverable ? std::string(reinterpret_cast<const char*>(d.data), d.size) : "-"));
        return taken.size() != stopAfter;
    }
    std::vector<std::string> taken;
    size_t stopAfter = 0;
};

FakePlatform::Arrival datagram(uint8_t last, const std::string& text, uint64_t afterMs) {
    return {static_cast<long>(text.size()), Buffer(text.begin(), text.end()), addressV4(10, 0, 0, last, 5000), afterMs};
}

class SessionTest : public FakePlatformTest {
protected:
    Session& session(std::function<bool()> interrupted = nullptr) {
        made.reset(new Session(settings, sink, log, std::move(interrupted)));
        made->open();
        fake.calls.clear();
        start = fake.now;
        return *made;
    }
    // `count` datagrams at once, `afterMs` from now.
    void crowd(size_t count, uint64_t afterMs) {
        for (size_t i = 0; i < count; ++i)
            fake.arrivals.push_back(datagram(static_cast<uint8_t>(i + 1), "x", i == 0 ? afterMs : 0));
    }
    // How long each wait was allowed, in milliseconds.
    std::vector<uint64_t> waits() const {
        std::vector<uint64_t> found;
        for (const std::string& c : fake.calls) {
            // "wait H [or W] 0s 200000us"
            std::istringstream in(c);
            std::vector<std::string> w;
            for (std::string word; in >> word;) w.push_back(word);
            if (w.size() >= 4 && w[0] == "wait")
                found.push_back(std::stoul(w[w.size() - 2]) * 1000 + std::stoul(w.back()) / 1000);
        }
        return found;
    }

    SessionSettings settings;
    RecordingSink sink;
    VerboseLog log;
    std::unique_ptr<Session> made;
    uint64_t start = 0;
};

}  // namespace

TEST_F(SessionTest, EveryDatagramReachesTheSinkWholeInArrivalOrder) {
    fake.arrivals = {datagram(2, "first", 10),
                     {0, Buffer{}, addressV4(6, 6, 6, 6, 1), 0},
                     datagram(1, "second", 0),
                     {1501, Buffer(1500, 0), addressV4(6, 6, 6, 7, 1), 0}};
    EXPECT_TRUE(session().collectUntilQuiet());
    EXPECT_THAT(sink.taken, ElementsAre("10.0.0.2:5000 first", "6.6.6.6:1 -", "10.0.0.1:5000 second", "6.6.6.7:1 -"));
}

// However many come at once, every datagram is taken, and the quiet wait
// still ends exactly its length after the last of them: whatever the
// session does with a crowd in between counts against that wait.
TEST_F(SessionTest, EveryDatagramOfACrowdIsTakenAndTheQuietWaitEndsOnTime) {
    for (size_t count : {1u, 8u, 21u, 150u}) {
        sink.taken.clear();
        crowd(count, 50);
        EXPECT_TRUE(session().collectUntilQuiet()) << count;
        EXPECT_EQ(sink.taken.size(), count);
        EXPECT_EQ(fake.now - start, 50u + 200u) << count << " datagrams at once";
    }
}

TEST_F(SessionTest, TheSinkEndsListeningAtOnce) {
    sink.stopAfter = 2;
    crowd(5, 30);
    Session& s = session();
    EXPECT_TRUE(s.collectUntilQuiet());
    EXPECT_TRUE(s.finished());
    EXPECT_EQ(sink.taken.size(), 2u);
    EXPECT_EQ(fake.now - start, 30u) << "no nap, no wait after it";
}

// Waits are kept short for stop requests, and a quiet wait made of short
// waits still lasts its whole length; a stop request is seen within one.
TEST_F(SessionTest, ShortWaitsForStopRequestsStillMakeAWholeQuietWait) {
    settings.timings.quietWait = Milliseconds(500);
    EXPECT_TRUE(session([] { return false; }).collectUntilQuiet());
    EXPECT_EQ(fake.now - start, 500u) << "the quiet wait ends after 500 ms, not after the first short wait";
    EXPECT_GT(waits().size(), 1u) << "waits kept short";
    for (uint64_t ms : waits()) EXPECT_LE(ms, uint64_t(Session::STOP_CHECK.count()));
}

TEST_F(SessionTest, AStopRequestEndsListeningWithinOneShortWait) {
    bool stop = false;
    Session& s = session([&] { return stop; });
    fake.arrivals.push_back(datagram(1, "x", 1000));
    EXPECT_TRUE(s.listenUntil(s.now() + Milliseconds(1000)));
    stop = true;
    const uint64_t asked = fake.now;
    EXPECT_TRUE(s.listenUntil(s.now() + Milliseconds(10000)));
    EXPECT_TRUE(s.finished());
    EXPECT_LE(fake.now - asked, uint64_t(Session::STOP_CHECK.count()));
}

TEST_F(SessionTest, WithoutAnOpenSocketLayerNothingIsSent) {
    BRIVO::socketLayerStarted = false;
    fake.startupResult = 1;
    testing::internal::CaptureStderr();
    Session s(settings, sink, log);
    EXPECT_FALSE(s.open());
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(s.failedStep(), SocketStep::STARTUP);
    EXPECT_THAT(fake.sent, IsEmpty());
}

// Targets get the probe by unicast, each once a round, no faster than the
// rate; the group is probed beside them only when links were chosen. A
// target the system will not send to is passed over.
TEST_F(SessionTest, TargetsAreProbedByUnicastAtTheRateAndTheGroupOnlyWithChosenLinks) {
    const struct {
        size_t targets;
        uint32_t rate;
        bool link;
        long firstSend;
        uint64_t lastSendAfterMs;
    } cases[] = {{300, 1000, false, 1, 290}, {300, 100, false, 1, 2990}, {5, 1000, true, -1, 0}};
    for (const auto& c : cases) {
        settings.targets.clear();
        for (size_t i = 0; i < c.targets; ++i)
            settings.targets.push_back(Address::of(0x0A020000u + 1 + static_cast<uint32_t>(i)));
        settings.rate = c.rate;
        settings.interfaces.clear();
        if (c.link) settings.interfaces.push_back(Link{"eth0", Address{{192, 168, 1, 5}}, 0xFFFFFF00u});
        Session& s = session();
        fake.sent.clear();
        fake.sendTimes.clear();
        fake.sendResults = {c.firstSend};
        EXPECT_TRUE(s.sendProbe()) << c.targets << " at " << c.rate;
        EXPECT_EQ(fake.sent.size(), c.targets + (c.link ? 1 : 0));
        EXPECT_EQ(fake.sendTimes.back() - fake.sendTimes.front(), c.lastSendAfterMs);
        size_t toGroup = 0, toTargets = 0;
        for (const std::string& call : fake.calls) {
            toGroup += call.find("sendTo") == 0 && call.find(" 224.0.0.138 ") != std::string::npos;
            toTargets += call.find("sendTo") == 0 && call.find(" 10.2.") != std::string::npos;
        }
        EXPECT_EQ(toGroup, c.link ? 1u : 0u);
        EXPECT_EQ(toTargets, c.targets);
    }
}

// A target's "port unreachable" fails a receive or a send once: the queue
// of such reports is emptied, each target that refused counted once, the
// probe sent again, and neither is a failure of the run.
TEST_F(SessionTest, TargetsThatSayNothingListensAreCountedOnceAndFailNothing) {
    settings.targets = {Address{{10, 2, 0, 1}}, Address{{10, 2, 0, 2}}, Address{{10, 2, 0, 3}}, Address{{10, 2, 0, 4}}};
    Session& s = session();
    fake.error.kind = BRIVO::SocketError::REFUSED;
    fake.sendResults = {-1};
    fake.unreachable = {0x0A020001};
    EXPECT_TRUE(s.sendProbe());
    EXPECT_EQ(fake.sent.size(), 5u) << "the probe that failed, sent again";
    fake.arrivals = {{-1, Buffer{}, addressV4(10, 2, 0, 2, 3576), 10},
                     {1, Buffer{'x'}, addressV4(10, 2, 0, 3, 3576), 0}};
    fake.unreachable = {0x0A020002, 0, 0x0A020001, 0x0A090009};
    EXPECT_TRUE(s.listenUntil(s.now() + Milliseconds(100)));
    EXPECT_EQ(s.failedStep(), SocketStep::NONE);
    EXPECT_EQ(s.refusedByTargets(), 2u) << "10.2.0.1 and 10.2.0.2; another error and a host not probed pass";
    EXPECT_EQ(sink.taken.size(), 1u) << "the answer behind the report";
    fake.calls.clear();
    EXPECT_TRUE(s.sendProbe());
    EXPECT_THAT(fake.calls, ElementsAre(testing::StartsWith("sendTo 7 12 10.2.0.4 ")))
        << "the next round asks only the target not heard from";
    s.forgetHeard();
    fake.sent.clear();
    EXPECT_TRUE(s.sendProbe());
    EXPECT_EQ(fake.sent.size(), 4u) << "a watch's new round asks them all";
}
