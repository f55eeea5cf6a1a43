// Buffer: the string it reads out of a datagram.

#include <gtest/gtest.h>

#include <string>

#include "Network/Buffer.h"

using BRIVO::Buffer;

namespace {

std::string stringOf(const Buffer& b) { return b.get_string(b.begin(), b.end()); }

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
