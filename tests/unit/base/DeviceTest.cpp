// The device table: one device per address, in address order, the first
// answer kept, and a capacity it holds to.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/base/Device.h"

using namespace webfind;

namespace {

Address at(uint8_t a, uint8_t b, uint8_t c, uint8_t d) { return Address{{a, b, c, d}}; }

std::vector<std::string> addresses(const DeviceTable& table) {
    std::vector<std::string> order;
    for (const auto& entry : table) order.push_back(entry.first.text());
    return order;
}

}  // namespace

TEST(DeviceTable, AddressOrderIsByteByByteNotAsText) {
    DeviceTable table;
    for (const Address& a :
         {at(192, 168, 1, 2), at(10, 0, 0, 10), at(10, 0, 0, 9), at(200, 0, 0, 1), at(9, 255, 255, 255)})
        table.add(a, "d", "http://d/");
    EXPECT_EQ(addresses(table),
              (std::vector<std::string>{"9.255.255.255", "10.0.0.9", "10.0.0.10", "192.168.1.2", "200.0.0.1"}));
}

TEST(DeviceTable, TheFirstAnswerStaysAndTheCapacityHolds) {
    DeviceTable table(2);
    EXPECT_EQ(table.add(at(10, 0, 0, 1), "first", "http://a/"), DeviceTable::Added::ADDED);
    EXPECT_EQ(table.add(at(10, 0, 0, 1), "second", "http://b/"), DeviceTable::Added::PRESENT);
    EXPECT_EQ(table.begin()->second.name, "first");
    EXPECT_EQ(table.add(at(10, 0, 0, 2), "b", "http://b/"), DeviceTable::Added::ADDED);
    EXPECT_EQ(table.add(at(10, 0, 0, 3), "c", "http://c/"), DeviceTable::Added::FULL);
    EXPECT_EQ(table.add(at(10, 0, 0, 2), "again", "http://b/"), DeviceTable::Added::PRESENT)
        << "a known address is present, not refused";
    EXPECT_EQ(table.size(), 2u);
    EXPECT_FALSE(table.contains(at(10, 0, 0, 3)));
}

TEST(DeviceTable, AWatchChangesAndForgetsWithinTheSameBytes) {
    const size_t one = DeviceTable::cost("A", "http://a/");
    DeviceTable table(10, 2 * one + 4);
    ASSERT_EQ(table.add(at(10, 0, 0, 1), "A", "http://a/"), DeviceTable::Added::ADDED);
    ASSERT_EQ(table.add(at(10, 0, 0, 2), "B", "http://b/"), DeviceTable::Added::ADDED);
    EXPECT_TRUE(table.change(at(10, 0, 0, 1), "A 2", "http://a/")) << "two bytes more fit";
    EXPECT_FALSE(table.change(at(10, 0, 0, 1), "A longer than fits", "http://a/"));
    EXPECT_EQ(table.find(at(10, 0, 0, 1))->name, "A 2") << "a change that does not fit leaves the device as it was";
    EXPECT_EQ(table.bytes(), 2 * one + 2);
    table.remove(at(10, 0, 0, 2));
    EXPECT_EQ(table.find(at(10, 0, 0, 2)), nullptr);
    EXPECT_TRUE(table.change(at(10, 0, 0, 1), "A longer than fits", "http://a/")) << "what was freed is room again";
    EXPECT_FALSE(table.change(at(10, 0, 0, 3), "C", "http://c/")) << "no device, nothing to change";
    EXPECT_EQ(table.size(), 1u);
}
