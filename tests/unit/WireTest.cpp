// The wire-level value types: Buffer, IPAddress, Err and the probe.

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "Network/Buffer.h"
#include "Network/Clock.h"
#include "app/Discovery.h"
#include "Network/Err.h"
#include "Network/IPAddress.h"

using namespace webfind;

using BRIVO::Buffer;
using BRIVO::IPAddress;

namespace {

std::string stringOf(const Buffer& b) { return b.get_string(b.begin(), b.end()); }

std::vector<uint8_t> bytesOf(const IPAddress& a) {
    std::vector<uint8_t> all(a.address, a.address + 16);
    all.push_back(a.port[0]);
    all.push_back(a.port[1]);
    return all;
}

}  // namespace

TEST(BufferGetString, StopsAtFirstZeroOrRangeEnd) {
    EXPECT_EQ(stringOf(Buffer{}), "");
    EXPECT_EQ(stringOf(Buffer{0x41, 0x42, 0x00, 0x43}), "AB");
    EXPECT_EQ(stringOf(Buffer{0x41, 0x42, 0x43}), "ABC");
    EXPECT_EQ(stringOf(Buffer{0x00, 0x41, 0x00}), "");
    EXPECT_EQ(stringOf(Buffer{0x41, 0x42, 0x00}), "AB");
}

TEST(BufferGetString, NeverReadsPastTheGivenEnd) {
    Buffer b{0x41, 0x42, 0x43, 0x00};
    EXPECT_EQ(b.get_string(b.begin(), b.begin() + 2), "AB");
    EXPECT_EQ(b.get_string(b.begin() + 1, b.begin() + 1), "");
}

TEST(BufferGetString, CopiesHighBytesUnchanged) {
    Buffer b{0xC3, 0xA9, 0xFF, 0x80};
    EXPECT_EQ(stringOf(b), "\xC3\xA9\xFF\x80");
}

TEST(IPAddressLayout, AllZeroByDefault) {
    EXPECT_EQ(bytesOf(IPAddress()), std::vector<uint8_t>(18, 0));
}

TEST(IPAddressLayout, IPv4MappedWithPortHighByteFirst) {
    EXPECT_EQ(bytesOf(IPAddress(224, 0, 0, 138, 0)),
              (std::vector<uint8_t>{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xE0, 0, 0, 0x8A, 0, 0}));
    IPAddress withPort(10, 0, 0, 1, 3576);
    EXPECT_EQ(withPort.port[0], 0x0D);
    EXPECT_EQ(withPort.port[1], 0xF8);
}

TEST(IPAddressComp, OrdersBytesLeftToRightThenPort) {
    EXPECT_EQ(IPAddress().comp(IPAddress()), BRIVO::EQUAL);
    EXPECT_EQ(IPAddress().comp(IPAddress(0, 0, 0, 0, 0)), BRIVO::LESS);
    EXPECT_EQ(IPAddress(192, 168, 1, 2, 0).comp(IPAddress(192, 168, 1, 10, 0)), BRIVO::LESS);
    EXPECT_EQ(IPAddress(192, 168, 1, 10, 0).comp(IPAddress(192, 168, 1, 2, 0)), BRIVO::GREATER);
    EXPECT_EQ(IPAddress(10, 0, 0, 1, 80).comp(IPAddress(10, 0, 0, 1, 256)), BRIVO::LESS);
    EXPECT_EQ(IPAddress(10, 0, 0, 1, 256).comp(IPAddress(10, 0, 0, 1, 80)), BRIVO::GREATER);
    // Unsigned bytes: 200 sorts after 100 although it is negative as a signed char.
    EXPECT_EQ(IPAddress(200, 0, 0, 1, 0).comp(IPAddress(100, 0, 0, 1, 0)), BRIVO::GREATER);
}

TEST(IPAddressComp, OrdersMapKeysAsDottedQuads) {
    std::map<IPAddress, int> table;
    table[IPAddress(192, 168, 1, 2, 0)] = 3;
    table[IPAddress(10, 0, 0, 10, 0)] = 2;
    table[IPAddress(10, 0, 0, 9, 0)] = 1;
    table[IPAddress(10, 0, 0, 9, 0)] = 1;
    std::vector<int> order;
    for (const auto& entry : table) order.push_back(entry.second);
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
}

TEST(ErrRecord, TheConstructorItselfWritesAndFlushesTheAssertionLine) {
    // Written before anyone throws or catches it: the line must be there even
    // when the record ends the process uncaught.
    testing::internal::CaptureStderr();
    BRIVO::Err e("src\\Network\\SocketV4", 171, 6);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "\nBRIVO ASSERT[src\\Network\\SocketV4]Line:171[code:6 Data:0]\n");
    EXPECT_EQ(e.data, 0);
}

TEST(ErrRecord, NegativeCodeInDecimal) {
    testing::internal::CaptureStderr();
    BRIVO::Err e("src\\Network\\Socket", 68, -12);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "\nBRIVO ASSERT[src\\Network\\Socket]Line:68[code:-12 Data:0]\n");
}

TEST(Answer, IsHeaderEightZerosNameTerminatorAndUrl) {
    Buffer answer(40, 0xEE);
    buildAnswer(answer, "Cam", "http://x/");
    const Buffer expected{0x73, 0x46, 0x7A, 0x20, 0x03, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                          'C', 'a', 'm', 0, 'h', 't', 't', 'p', ':', '/', '/', 'x', '/'};
    EXPECT_EQ(answer, expected);
}

TEST(Probe, IsTwelveExactBytesWhateverTheBufferHeld) {
    const Buffer expected{0x73, 0x46, 0x7A, 0x20, 0x02, 0, 0, 0, 0x01, 0, 0, 0};
    Buffer empty;
    buildProbe(empty);
    EXPECT_EQ(empty, expected);
    Buffer full(1500, 0xEE);
    buildProbe(full);
    EXPECT_EQ(full, expected);
}
