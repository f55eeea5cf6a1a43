// Socket against the recording fake platform: the socket layer's start-up
// once per process, the handle's lifetime, and what binding sets.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "FakePlatform.h"
#include "Network/Err.h"
#include "Network/Socket.h"
#include "Network/SocketV4.h"
#include "Network/UDPV4.h"

using BRIVO::IPAddress;
using BRIVO::SocketV4;
using testing::ElementsAre;
using testing::IsEmpty;

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
    EXPECT_THAT(fake.calls,
                ElementsAre("bind 7 0.0.0.0 port 0D F8", "setOption 7 ADD_MEMBERSHIP E0 00 00 8A 00 00 00 00"));
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
