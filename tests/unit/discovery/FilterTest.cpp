// The device filter: patterns against names.

#include <gtest/gtest.h>

#include "app/discovery/Filter.h"

using namespace webfind;

TEST(DeviceFilter, AnyPatternIgnoringTheCaseOfAsciiLetters) {
    EXPECT_TRUE(DeviceFilter({"camera"}).keeps("Living room CAMERA"));
    EXPECT_TRUE(DeviceFilter({"scanner", "PRINT"}).keeps("Office Printer"));
    EXPECT_FALSE(DeviceFilter({"camera", "printer"}).keeps("Router"));
    EXPECT_TRUE(DeviceFilter().keeps("anything"));
    EXPECT_FALSE(DeviceFilter().selective());
    EXPECT_TRUE(DeviceFilter({""}).keeps("anything")) << "an empty pattern is in every name";
    EXPECT_TRUE(DeviceFilter({"CAF\xC3\xA9"}).keeps("Caf\xC3\xA9 screen"));
    EXPECT_FALSE(DeviceFilter({"CAF\xC3\x89"}).keeps("Caf\xC3\xA9")) << "letters beyond ASCII must match exactly";
}
