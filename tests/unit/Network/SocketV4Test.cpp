// SocketV4 against the recording fake platform: opening each kind, sending,
// and the timed receives.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "FakePlatform.h"
#include "Network/Err.h"
#include "Network/SocketV4.h"

using BRIVO::Buffer;
using BRIVO::IPAddress;
using BRIVO::SocketV4;
using testing::ElementsAre;
using testing::IsEmpty;

using SocketOpen = FakePlatformTest;

TEST_F(SocketOpen, BroadcastSetsOptionThenBlockingMode) {
    SocketV4 s;
    EXPECT_TRUE(s.open(SocketV4::UDP_BROADCAST));
    EXPECT_THAT(fake.calls, ElementsAre("socket DATAGRAM", "setOption 7 BROADCAST 01 00 00 00", "nonBlocking 7 0"));
    EXPECT_EQ(s.type(), SocketV4::UDP_BROADCAST);
}

TEST_F(SocketOpen, ReopenClosesTheOldHandleFirst) {
    SocketV4 s;
    ASSERT_TRUE(s.open(SocketV4::UDP_BROADCAST));
    fake.calls.clear();
    ASSERT_TRUE(s.open(SocketV4::UDP_BROADCAST));
    EXPECT_THAT(fake.calls, ElementsAre("shutdown 7", "close 7", "socket DATAGRAM", "setOption 8 BROADCAST 01 00 00 00",
                                        "nonBlocking 8 0"));
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
    EXPECT_THAT(fake.calls,
                ElementsAre("socket DATAGRAM", "setOption 7 BROADCAST 01 00 00 00", "shutdown 7", "close 7"));
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
    SocketReceive() {
        socket.open(SocketV4::UDP_BROADCAST);
        fake.calls.clear();
    }
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
    EXPECT_THAT(fake.calls,
                ElementsAre("wait 7 0s 200000us", "wait 7 0s 1000us", "wait 7 0s 0us", "wait 7 1s 234000us"));
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

TEST_F(SocketReceive, AWaitThenWhatIsWaitingInOneBatch) {
    BRIVO::DatagramBatch batch(8);
    BRIVO::Clock wait(200000);
    EXPECT_EQ(socket.receiveWaiting(batch, wait), BRIVO::TIMEOUT);
    EXPECT_EQ(batch.count(), 0u);

    fake.arrivals.push_back({5, Buffer(5, 0x61), addressV4(10, 0, 0, 2, 1000), 30});
    fake.arrivals.push_back({3, Buffer(3, 0x62), addressV4(10, 0, 0, 3, 1000), 0});
    fake.calls.clear();
    EXPECT_EQ(socket.receiveWaiting(batch, wait), BRIVO::RECEIVED);
    EXPECT_EQ(batch.count(), 2u);
    EXPECT_THAT(fake.calls, ElementsAre("wait 7 0s 200000us", "receiveWaiting 7 8"));
    EXPECT_EQ(wait.microseconds, 200000u) << "the wait is read, never changed";

    fake.waitFails = true;
    fake.calls.clear();
    EXPECT_EQ(socket.receiveWaiting(batch, wait), BRIVO::FAIL);
    EXPECT_THAT(fake.calls, ElementsAre("wait 7 0s 200000us")) << "a failed wait never leads to a receive";
    EXPECT_EQ(batch.count(), 0u);
}

// The calls a listener on chosen interfaces adds: each option with its
// value in the platform's layout, and the arrival of a datagram handed on.
using SocketListener = FakePlatformTest;

TEST_F(SocketListener, SharesTheAddressJoinsAndLeavesOnAnInterfaceAndReportsArrivals) {
    SocketV4 s;
    ASSERT_TRUE(s.open(SocketV4::UDP_BROADCAST));
    fake.calls.clear();
    const uint8_t eth1[4] = {10, 2, 0, 1};
    EXPECT_TRUE(s.shareAddress());
    EXPECT_TRUE(s.joinGroup(IPAddress(224, 0, 0, 138, 3576), eth1));
    EXPECT_TRUE(s.leaveGroup(IPAddress(224, 0, 0, 138, 3576), eth1));
    EXPECT_TRUE(s.reportArrival());
    EXPECT_THAT(
        fake.calls,
        ElementsAre("setOption 7 REUSE_ADDRESS 01 00 00 00", "setOption 7 ADD_MEMBERSHIP E0 00 00 8A 0A 02 00 01",
                    "setOption 7 DROP_MEMBERSHIP E0 00 00 8A 0A 02 00 01", "setOption 7 PACKET_INFO 01 00 00 00"));
}

TEST_F(SocketListener, AReceiveSaysWhereTheDatagramArrived) {
    SocketV4 s;
    ASSERT_TRUE(s.open(SocketV4::UDP_BROADCAST));
    FakePlatform::Arrival probe{3, Buffer{1, 2, 3}, addressV4(10, 2, 0, 9, 40000)};
    probe.where = BRIVO::Arrival{{224, 0, 0, 138}, 4};
    fake.arrivals.push_back(probe);
    Buffer payload;
    IPAddress source;
    uint16_t port = 0;
    BRIVO::Arrival arrival{{9, 9, 9, 9}, 9};
    BRIVO::Clock wait(100000);
    ASSERT_EQ(s.receiveFrom(payload, source, port, arrival, wait), BRIVO::RECEIVED);
    EXPECT_EQ(payload, (Buffer{1, 2, 3}));
    EXPECT_EQ(source.comp(IPAddress(10, 2, 0, 9, 0)), BRIVO::EQUAL);
    EXPECT_EQ(port, 40000);
    EXPECT_EQ(arrival.destination[3], 138);
    EXPECT_EQ(arrival.interfaceIndex, 4u);
    // Nothing there: the arrival says nothing either.
    EXPECT_EQ(s.receiveFrom(payload, source, port, arrival, wait), BRIVO::TIMEOUT);
    EXPECT_EQ(arrival.interfaceIndex, 0u);
}
