// IPAddress: its bytes, and the order it gives the devices.

#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "Network/IPAddress.h"

using BRIVO::IPAddress;

namespace {

std::vector<uint8_t> bytesOf(const IPAddress& a) {
    std::vector<uint8_t> all(a.address, a.address + 16);
    all.push_back(a.port[0]);
    all.push_back(a.port[1]);
    return all;
}

}  // namespace

TEST(IPAddressLayout, AllZeroByDefault) { EXPECT_EQ(bytesOf(IPAddress()), std::vector<uint8_t>(18, 0)); }

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
