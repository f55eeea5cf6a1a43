// Socket, SocketV4 and UDPV4 against the recording fake platform.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "Network/Err.h"
#include "FakePlatform.h"
#include "Network/Socket.h"
#include "Network/SocketV4.h"
#include "Network/UDPV4.h"

using BRIVO::Buffer;
using BRIVO::IPAddress;
using BRIVO::SocketV4;
using testing::ElementsAre;
using testing::IsEmpty;

// Installs the fake with the socket layer already started, as it is after the
// first socket of a process. The real flag is restored afterwards, so that
// real sockets in later tests still start the real socket layer.
class FakePlatformTest : public testing::Test {
protected:
    FakePlatformTest() : use(fake.table()) { BRIVO::socketLayerStarted = true; }
    ~FakePlatformTest() override { BRIVO::socketLayerStarted = realStarted; }

    const bool realStarted = BRIVO::socketLayerStarted;
    FakePlatform fake;
    BRIVO::PlatformOverride use;
};

class SocketLayerStartup : public FakePlatformTest {
protected:
    SocketLayerStartup() { BRIVO::socketLayerStarted = false; }
};

TEST_F(SocketLayerStartup, StartsOnceAndRegistersCleanupOnce) {
    BRIVO::UDPV4 first;
    BRIVO::UDPV4 second;
    EXPECT_THAT(fake.calls, ElementsAre("startup", "atexit"));
    EXPECT_EQ(fake.registeredHandlers, 1);
    EXPECT_TRUE(BRIVO::socketLayerStarted);
}

TEST_F(SocketLayerStartup, FailedStartupThrowsLine68AndIsRetried) {
    fake.startupResult = 10091;
    testing::internal::CaptureStderr();
    try {
        BRIVO::Socket s;
        FAIL() << "no Err thrown";
    } catch (const BRIVO::Err& e) {
        EXPECT_STREQ(e.file, "src\\Network\\Socket");
        EXPECT_EQ(e.line, 68);
        EXPECT_EQ(e.code, 0);
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "\nBRIVO ASSERT[src\\Network\\Socket]Line:68[code:0 Data:0]\n");
    EXPECT_FALSE(BRIVO::socketLayerStarted);

    fake.startupResult = 0;
    BRIVO::Socket retried;
    EXPECT_THAT(fake.calls, ElementsAre("startup", "atexit", "startup", "atexit"));
    EXPECT_TRUE(BRIVO::socketLayerStarted);
}

TEST_F(SocketLayerStartup, FailedRegistrationWinsOverFailedStartup) {
    fake.startupResult = 1;
    fake.atExitResult = 1;
    testing::internal::CaptureStderr();
    try {
        BRIVO::Socket s;
        FAIL() << "no Err thrown";
    } catch (const BRIVO::Err& e) {
        EXPECT_EQ(e.line, 65);
    }
    testing::internal::GetCapturedStderr();
    EXPECT_FALSE(BRIVO::socketLayerStarted);
}

using SocketLifetime = FakePlatformTest;

TEST_F(SocketLifetime, NeverOpenedMakesNoCall) {
    {
        BRIVO::UDPV4 endpoint;
        EXPECT_EQ(endpoint.handle(), BRIVO::INVALID_HANDLE);
        EXPECT_EQ(endpoint.endpointPort, 0);
        EXPECT_EQ(endpoint.endpointAddress.comp(IPAddress()), BRIVO::EQUAL);
        endpoint.close();
        endpoint.close();
    }
    EXPECT_THAT(fake.calls, IsEmpty());
}

TEST_F(SocketLifetime, DestructorShutsDownThenCloses) {
    {
        SocketV4 s;
        ASSERT_TRUE(s.open(SocketV4::TCP));
        fake.calls.clear();
    }
    EXPECT_THAT(fake.calls, ElementsAre("shutdown 7", "close 7"));
}

TEST_F(SocketLifetime, CloseTwiceClosesOnce) {
    SocketV4 s;
    ASSERT_TRUE(s.open(SocketV4::TCP));
    fake.calls.clear();
    s.close();
    s.close();
    EXPECT_THAT(fake.calls, ElementsAre("shutdown 7", "close 7"));
    EXPECT_EQ(s.type(), SocketV4::TCP);
}

using SocketOpen = FakePlatformTest;

TEST_F(SocketOpen, BroadcastSetsOptionThenBlockingMode) {
    SocketV4 s;
    EXPECT_TRUE(s.open(SocketV4::UDP_BROADCAST));
    EXPECT_THAT(fake.calls, ElementsAre("socket DATAGRAM", "setOption 7 BROADCAST 01 00 00 00",
                                        "nonBlocking 7 0"));
    EXPECT_EQ(s.type(), SocketV4::UDP_BROADCAST);
}

TEST_F(SocketOpen, ReopenClosesTheOldHandleFirst) {
    SocketV4 s;
    ASSERT_TRUE(s.open(SocketV4::UDP_BROADCAST));
    fake.calls.clear();
    ASSERT_TRUE(s.open(SocketV4::UDP_BROADCAST));
    EXPECT_THAT(fake.calls, ElementsAre("shutdown 7", "close 7", "socket DATAGRAM",
                                        "setOption 8 BROADCAST 01 00 00 00", "nonBlocking 8 0"));
}

TEST_F(SocketOpen, TcpSetsNothing) {
    SocketV4 s;
    EXPECT_TRUE(s.open(SocketV4::TCP));
    EXPECT_THAT(fake.calls, ElementsAre("socket STREAM"));
}

TEST_F(SocketOpen, UnknownKindLeavesAnOpenSocketUntouched) {
    SocketV4 s;
    ASSERT_TRUE(s.open(SocketV4::UDP_BROADCAST));
    fake.calls.clear();
    EXPECT_FALSE(s.open(static_cast<SocketV4::Type>(3)));
    EXPECT_FALSE(s.open(static_cast<SocketV4::Type>(-1)));
    EXPECT_THAT(fake.calls, IsEmpty());
    EXPECT_EQ(s.handle(), 7u);
    EXPECT_EQ(s.type(), SocketV4::UDP_BROADCAST);
}

TEST_F(SocketOpen, FailedSocketLeavesNoHandleButTheNewKind) {
    SocketV4 s;
    ASSERT_TRUE(s.open(SocketV4::TCP));
    fake.socketFails = true;
    EXPECT_FALSE(s.open(SocketV4::UDP_BROADCAST));
    EXPECT_EQ(s.handle(), BRIVO::INVALID_HANDLE);
    EXPECT_EQ(s.type(), SocketV4::UDP_BROADCAST);
}

TEST_F(SocketOpen, FailedBroadcastOptionClosesTheNewHandle) {
    fake.broadcastResult = -1;
    SocketV4 s;
    EXPECT_FALSE(s.open(SocketV4::UDP_BROADCAST));
    EXPECT_THAT(fake.calls, ElementsAre("socket DATAGRAM", "setOption 7 BROADCAST 01 00 00 00",
                                        "shutdown 7", "close 7"));
    EXPECT_EQ(s.handle(), BRIVO::INVALID_HANDLE);
}

TEST_F(SocketOpen, FailedBlockingModeIsIgnored) {
    fake.nonBlockingResult = -1;
    SocketV4 s;
    EXPECT_TRUE(s.open(SocketV4::UDP_BROADCAST));
}

using MulticastOpen = FakePlatformTest;

TEST_F(MulticastOpen, UsesTheFirstInterfaceAddress) {
    fake.tableAddresses = {0x1401A8C0 /* 192.168.1.20 */, 0x0100007F};
    SocketV4 s;
    EXPECT_TRUE(s.open(SocketV4::UDP_MULTICAST));
    EXPECT_THAT(fake.calls, ElementsAre("interfaceTable size 0", "interfaceTable 52", "socket DATAGRAM",
                                        "setOption 7 MULTICAST_INTERFACE C0 A8 01 14"));
}

TEST_F(MulticastOpen, FallsBackToLoopbackOnEmptyOrFailedTable) {
    SocketV4 s;
    EXPECT_TRUE(s.open(SocketV4::UDP_MULTICAST));
    EXPECT_EQ(fake.calls.back(), "setOption 7 MULTICAST_INTERFACE 7F 00 00 01");

    fake.tableAddresses = {0x1401A8C0};
    fake.tableResult = 87;
    EXPECT_TRUE(s.open(SocketV4::UDP_MULTICAST));
    EXPECT_EQ(fake.calls.back(), "setOption 8 MULTICAST_INTERFACE 7F 00 00 01");
}

TEST_F(MulticastOpen, FailedSizeQueryThrowsLine171AndKeepsTheOldSocket) {
    SocketV4 s;
    ASSERT_TRUE(s.open(SocketV4::UDP_BROADCAST));
    fake.calls.clear();
    fake.tableSizeResult = 0;
    testing::internal::CaptureStderr();
    try {
        s.open(SocketV4::UDP_MULTICAST);
        FAIL() << "no Err thrown";
    } catch (const BRIVO::Err& e) {
        EXPECT_STREQ(e.file, "src\\Network\\SocketV4");
        EXPECT_EQ(e.line, 171);
        EXPECT_EQ(e.code, 6);
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "\nBRIVO ASSERT[src\\Network\\SocketV4]Line:171[code:6 Data:0]\n");
    EXPECT_THAT(fake.calls, ElementsAre("interfaceTable size 0"));
    EXPECT_EQ(s.handle(), 7u);
    EXPECT_EQ(s.type(), SocketV4::UDP_BROADCAST);
}

TEST_F(MulticastOpen, FailedInterfaceOptionClosesTheNewHandle) {
    fake.interfaceResult = -1;
    SocketV4 s;
    EXPECT_FALSE(s.open(SocketV4::UDP_MULTICAST));
    EXPECT_EQ(s.handle(), BRIVO::INVALID_HANDLE);
    EXPECT_EQ(fake.calls.back(), "close 7");
}

using SocketBind = FakePlatformTest;

TEST_F(SocketBind, BroadcastBindsAnyAndSetsBroadcastAgain) {
    SocketV4 s;
    ASSERT_TRUE(s.open(SocketV4::UDP_BROADCAST));
    fake.calls.clear();
    EXPECT_TRUE(s.bindV4(IPAddress()));
    EXPECT_THAT(fake.calls, ElementsAre("bind 7 0.0.0.0 port 00 00", "setOption 7 BROADCAST 01 00 00 00"));
}

TEST_F(SocketBind, MulticastBindsThePortNotTheGroupAndJoinsTheGroup) {
    SocketV4 s;
    ASSERT_TRUE(s.open(SocketV4::UDP_MULTICAST));
    fake.calls.clear();
    EXPECT_TRUE(s.bindV4(IPAddress(224, 0, 0, 138, 3576)));
    EXPECT_THAT(fake.calls, ElementsAre("bind 7 0.0.0.0 port 0D F8",
                                        "setOption 7 ADD_MEMBERSHIP E0 00 00 8A 00 00 00 00"));
}

TEST_F(SocketBind, PortBytesAreUsedWithoutSwapping) {
    SocketV4 s;
    ASSERT_TRUE(s.open(SocketV4::TCP));
    fake.calls.clear();
    EXPECT_TRUE(s.bindV4(IPAddress(1, 2, 3, 4, 0x1234)));
    EXPECT_THAT(fake.calls, ElementsAre("bind 7 0.0.0.0 port 12 34"));
}

TEST_F(SocketBind, FailuresReturnFalseAndKeepTheHandle) {
    SocketV4 s;
    ASSERT_TRUE(s.open(SocketV4::UDP_BROADCAST));
    fake.bindResult = -1;
    fake.calls.clear();
    EXPECT_FALSE(s.bindV4(IPAddress()));
    EXPECT_THAT(fake.calls, ElementsAre("bind 7 0.0.0.0 port 00 00"));

    fake.bindResult = 0;
    fake.broadcastResult = -1;
    EXPECT_FALSE(s.bindV4(IPAddress()));
    EXPECT_EQ(s.handle(), 7u);

    SocketV4 m;
    ASSERT_TRUE(m.open(SocketV4::UDP_MULTICAST));
    fake.membershipResult = -1;
    EXPECT_FALSE(m.bindV4(IPAddress(224, 0, 0, 138, 0)));
    EXPECT_NE(m.handle(), BRIVO::INVALID_HANDLE);
}

TEST_F(SocketBind, WithoutAHandleFailsAndSetsNoOption) {
    SocketV4 s;
    fake.bindResult = -1;  // as the OS answers for an invalid handle
    EXPECT_FALSE(s.bindV4(IPAddress()));
    EXPECT_EQ(fake.calls.size(), 1u);
}

using SocketSend = FakePlatformTest;

TEST_F(SocketSend, UsesTheGivenPortInNetworkOrderAndBytes12To15) {
    SocketV4 s;
    ASSERT_TRUE(s.open(SocketV4::UDP_BROADCAST));
    Buffer probe{1, 2, 3};
    EXPECT_TRUE(s.sendTo(probe, IPAddress(224, 0, 0, 138, 0), 3576));
    EXPECT_EQ(fake.calls.back(), "sendTo 7 3 224.0.0.138 port 0D F8");
    EXPECT_EQ(fake.sent.back(), probe);
}

TEST_F(SocketSend, EmptyPartialAndFailedSends) {
    SocketV4 s;
    ASSERT_TRUE(s.open(SocketV4::UDP_BROADCAST));
    EXPECT_TRUE(s.sendTo(Buffer{}, IPAddress(127, 0, 0, 1, 0), 9));
    fake.sendResults = {2, -1};
    EXPECT_FALSE(s.sendTo(Buffer{1, 2, 3}, IPAddress(127, 0, 0, 1, 0), 9));
    EXPECT_FALSE(s.sendTo(Buffer{1, 2, 3}, IPAddress(127, 0, 0, 1, 0), 9));
}

class SocketReceive : public FakePlatformTest {
protected:
    SocketReceive() { socket.open(SocketV4::UDP_BROADCAST); fake.calls.clear(); }
    BRIVO::WAIT_CODE receive(uint32_t us) {
        BRIVO::Clock wait(us);
        return socket.receiveFrom(buffer, source, port, wait);
    }
    SocketV4 socket;
    Buffer buffer{9, 9};
    IPAddress source{1, 1, 1, 1, 0xABCD};
    uint16_t port = 77;
};

TEST_F(SocketReceive, WaitHasMillisecondPrecision) {
    receive(200000);
    receive(1999);
    receive(999);
    receive(1234567);
    EXPECT_THAT(fake.calls, ElementsAre("wait 7 0s 200000us", "wait 7 0s 1000us", "wait 7 0s 0us",
                                        "wait 7 1s 234000us"));
}

TEST_F(SocketReceive, TheWaitIsReadButNeverChanged) {
    BRIVO::Clock wait(200000);
    fake.arrivals.push_back({3, Buffer(3, 1), addressV4(10, 0, 0, 1, 1), 5});
    EXPECT_EQ(socket.receiveFrom(buffer, source, port, wait), BRIVO::RECEIVED);
    EXPECT_EQ(socket.receiveFrom(buffer, source, port, wait), BRIVO::TIMEOUT);
    EXPECT_EQ(wait.microseconds, 200000u);
}

TEST_F(SocketReceive, TimeoutChangesNothing) {
    EXPECT_EQ(receive(200000), BRIVO::TIMEOUT);
    EXPECT_EQ(buffer, (Buffer{9, 9}));
    EXPECT_EQ(source.comp(IPAddress(1, 1, 1, 1, 0xABCD)), BRIVO::EQUAL);
    EXPECT_EQ(port, 77);
}

TEST_F(SocketReceive, DeliversDatagramWithMappedSourceKeepingThePortField) {
    fake.arrivals.push_back({12, Buffer(12, 0x55), addressV4(192, 168, 1, 20, 3576)});
    EXPECT_EQ(receive(200000), BRIVO::RECEIVED);
    EXPECT_EQ(buffer, Buffer(12, 0x55));
    EXPECT_EQ(source.comp(IPAddress(192, 168, 1, 20, 0xABCD)), BRIVO::EQUAL);
    EXPECT_EQ(port, 3576);
    EXPECT_EQ(fake.calls.back(), "receiveFrom 7 1500");
}

TEST_F(SocketReceive, FullSizeDatagramArrivesWhole) {
    fake.arrivals.push_back({1500, Buffer(1500, 0x41), addressV4(10, 0, 0, 1, 1)});
    EXPECT_EQ(receive(200000), BRIVO::RECEIVED);
    EXPECT_EQ(buffer.size(), 1500u);
}

TEST_F(SocketReceive, EmptyAndOversizedAreDiscardedNotFailures) {
    fake.arrivals.push_back({0, Buffer{}, addressV4(10, 0, 0, 1, 1)});
    fake.arrivals.push_back({1501, Buffer(1500, 1), addressV4(10, 0, 0, 1, 1)});
    EXPECT_EQ(receive(200000), BRIVO::DISCARDED);
    EXPECT_EQ(buffer.size(), 1500u);
    EXPECT_EQ(receive(200000), BRIVO::DISCARDED);
    EXPECT_EQ(source.comp(IPAddress(1, 1, 1, 1, 0xABCD)), BRIVO::EQUAL);
    EXPECT_EQ(port, 77);
}

TEST_F(SocketReceive, FailedReceiveOrWaitIsFail) {
    fake.arrivals.push_back({-1, Buffer{}, addressV4(10, 0, 0, 1, 1)});
    EXPECT_EQ(receive(200000), BRIVO::FAIL);
    EXPECT_EQ(buffer.size(), 1500u);
    EXPECT_EQ(port, 77);

    fake.waitFails = true;
    fake.calls.clear();
    EXPECT_EQ(receive(200000), BRIVO::FAIL);
    EXPECT_THAT(fake.calls, ElementsAre("wait 7 0s 200000us"));  // never reaches a receive
}

TEST_F(SocketReceive, WaitingDatagramsAreTakenInOneBatchInArrivalOrder) {
    fake.arrivals.push_back({5, Buffer(5, 0x61), addressV4(10, 0, 0, 2, 1000), 0});
    fake.arrivals.push_back({0, Buffer{}, addressV4(10, 0, 0, 3, 1001), 0});
    fake.arrivals.push_back({1501, Buffer(1500, 0), addressV4(10, 0, 0, 4, 1002), 0});
    fake.arrivals.push_back({3, Buffer(3, 0x62), addressV4(10, 0, 0, 5, 1003), 7});  // not yet there
    BRIVO::DatagramBatch batch(8);
    ASSERT_TRUE(socket.receiveWaiting(batch));
    ASSERT_EQ(batch.count(), 3u);
    EXPECT_TRUE(batch.deliverable(0));
    EXPECT_FALSE(batch.deliverable(1));
    EXPECT_FALSE(batch.deliverable(2));
    EXPECT_EQ(Buffer(batch.data(0), batch.data(0) + batch.length(0)), Buffer(5, 0x61));
    IPAddress from(9, 9, 9, 9, 0x1234);
    batch.source(0, from);
    EXPECT_EQ(from.comp(IPAddress(10, 0, 0, 2, 0x1234)), BRIVO::EQUAL);
    EXPECT_EQ(batch.sourcePort(0), 1000);
    EXPECT_EQ(fake.calls.back(), "receiveWaiting 7 8");

    ASSERT_TRUE(socket.receiveWaiting(batch));
    EXPECT_EQ(batch.count(), 0u);
    fake.arrivals = {{-1, Buffer{}, addressV4(0, 0, 0, 0, 0), 0}};
    EXPECT_FALSE(socket.receiveWaiting(batch));
    EXPECT_EQ(batch.count(), 0u);
}
