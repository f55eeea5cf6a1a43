// The session's timing on the fake platform's virtual clock: datagrams that
// come in crowds, the quiet wait, waits kept short for stop requests, and
// that every datagram reaches the sink whole, in order.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

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
    size_t sleeps() const {
        size_t n = 0;
        for (const std::string& c : fake.calls) n += c.rfind("sleep", 0) == 0;
        return n;
    }

    SessionSettings settings;
    RecordingSink sink;
    VerboseLog log;
    std::unique_ptr<Session> made;
    uint64_t start = 0;
};

}  // namespace

TEST_F(SessionTest, EveryDatagramReachesTheSinkWholeInArrivalOrder) {
    fake.arrivals = {datagram(2, "first", 10), {0, Buffer{}, addressV4(6, 6, 6, 6, 1), 0}, datagram(1, "second", 0),
                     {1501, Buffer(1500, 0), addressV4(6, 6, 6, 7, 1), 0}};
    EXPECT_TRUE(session().collectUntilQuiet());
    EXPECT_THAT(sink.taken, ElementsAre("10.0.0.2:5000 first", "6.6.6.6:1 -", "10.0.0.1:5000 second", "6.6.6.7:1 -"));
}

TEST_F(SessionTest, ManyWaitingDatagramsAreAllTakenBeforeTheNextWait) {
    crowd(150, 1);
    EXPECT_TRUE(session().collectUntilQuiet());
    EXPECT_EQ(sink.taken.size(), 150u);
    EXPECT_EQ(fake.now - start, 1u + 1u + 199u) << "one nap, then one quiet wait";
}

TEST_F(SessionTest, ACrowdEarnsANapThatCountsAsPartOfTheQuietWait) {
    crowd(21, 50);
    EXPECT_TRUE(session().collectUntilQuiet());
    EXPECT_EQ(sleeps(), 1u);
    EXPECT_EQ(fake.now - start, 50u + 1u + 199u) << "the quiet wait still ends 200 ms after the crowd";
}

TEST_F(SessionTest, AFewDatagramsAtOnceAreNoCrowd) {
    crowd(8, 50);
    EXPECT_TRUE(session().collectUntilQuiet());
    EXPECT_EQ(sleeps(), 0u);
    EXPECT_EQ(fake.now - start, 50u + 200u);
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

TEST_F(SessionTest, ShortWaitsForStopRequestsStillMakeAWholeQuietWait) {
    settings.timings.quietWait = Milliseconds(500);
    EXPECT_TRUE(session([] { return false; }).collectUntilQuiet());
    EXPECT_EQ(fake.now - start, 500u) << "the quiet wait ends after 500 ms, not after the first short wait";
    EXPECT_THAT(fake.calls, ElementsAre("wait 7 0s 200000us", "wait 7 0s 200000us", "wait 7 0s 100000us"));
}

TEST_F(SessionTest, AStopRequestEndsListeningWithinOneShortWait) {
    int asked = 0;
    Session& s = session([&] { return ++asked > 2; });
    EXPECT_TRUE(s.listenUntil(s.now() + Milliseconds(10000)));
    EXPECT_TRUE(s.finished());
    EXPECT_EQ(fake.now - start, 2 * Session::STOP_CHECK.count());
}

TEST_F(SessionTest, WithoutAnOpenSocketLayerNothingIsSent) {
    BRIVO::socketLayerStarted = false;
    fake.startupResult = 1;
    testing::internal::CaptureStderr();
    Session s(settings, sink, log);
    EXPECT_FALSE(s.open());
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(s.failed(), SocketStep::STARTUP);
    EXPECT_THAT(fake.sent, IsEmpty());
}
