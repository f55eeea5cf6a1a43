// Addresses as text, both ways.

#include <gtest/gtest.h>

#include "app/base/Address.h"

using namespace webfind;

TEST(DottedQuad, ReadsFourNumbersUpTo255AndNothingElse) {
    Address a;
    ASSERT_TRUE(parseDottedQuad("192.168.1.20", a));
    EXPECT_EQ(a, (Address{{192, 168, 1, 20}}));
    ASSERT_TRUE(parseDottedQuad("255.255.255.255", a));
    EXPECT_EQ(a.text(), "255.255.255.255");
    for (const char* text : {"", "10.1.0", "10.1.0.256", "10.1.0.2 ", "10.1.0.2/24", "10.1.0.2.3", "a.b.c.d",
                             "10.1.0.-1", "+10.1.0.2", " 10.1.0.2", "10. 1.0.2", "4294967297.0.0.1", "10.1.0.00002"})
        EXPECT_FALSE(parseDottedQuad(text, a)) << text;
}
