// The text rules every output shares: what a terminal may be shown, what
// may be handed to an opener, how times read.

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "Unescape.h"
#include "app/base/Text.h"

using namespace webfind;

TEST(SafeUrl, RejectsWhatAUrlNeverHoldsUnescaped) {
    EXPECT_TRUE(safeToOpen("https://192.168.1.20:8443/a?b=c&d=%20#frag"));
    EXPECT_TRUE(safeToOpen("http://x/\x80\xff"));
    for (char bad : std::string("\"<>\\^`{|} \x7f\x01\t", 13))
        EXPECT_FALSE(safeToOpen(std::string("http://x/") + bad)) << int(bad);
}

TEST(TerminalEscape, OnlyControlBytesDeleteAndFakeEscapes) {
    EXPECT_EQ(escapeForTerminal(std::string("a\0b\x1f \x7f~\x80\xff", 9)), "a\\x00b\\x1F \\x7F~\x80\xff");
    EXPECT_EQ(escapeForTerminal("DOMAIN\\host \\\\"), "DOMAIN\\host \\\\");
    EXPECT_EQ(escapeForTerminal("fake \\x1B[2J"), "fake \\x5Cx1B[2J");
}

TEST(TerminalEscape, ReadsBackToTheExactBytes) {
    for (const std::string& text : {std::string("plain"), std::string("\\x41\\\\x\\"), std::string("\x1b[31m\n\\x", 9),
                                    std::string("\0\x7f\xc3\xa9\\", 5)})
        EXPECT_EQ(unescapeFromTerminal(escapeForTerminal(text)), text);
}

TEST(Times, Rfc3339InUtcToTheMillisecond) {
    EXPECT_EQ(rfc3339(std::chrono::system_clock::time_point()), "1970-01-01T00:00:00.000Z");
    EXPECT_EQ(rfc3339(std::chrono::system_clock::time_point(std::chrono::milliseconds(1700000000123))),
              "2023-11-14T22:13:20.123Z");
}
