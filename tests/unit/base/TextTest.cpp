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
    EXPECT_EQ(escapeForTerminal(std::string("a\0b\x1f \x7f~\xa0\xff", 9)), "a\\x00b\\x1F \\x7F~\xa0\xff");
    EXPECT_EQ(escapeForTerminal("DOMAIN\\host \\\\"), "DOMAIN\\host \\\\");
    EXPECT_EQ(escapeForTerminal("fake \\x1B[2J"), "fake \\x5Cx1B[2J");
}

TEST(TerminalEscape, C1AndBidiControlsAreEscapedWhetherUtf8OrRawBytes) {
    // CSI and OSC as UTF-8 (U+009B, U+009D) and as raw bytes.
    EXPECT_EQ(escapeForTerminal("x\xc2\x9b"
                                "2Jy\xc2\x9d"
                                "0;t"),
              "x\\xC2\\x9B2Jy\\xC2\\x9D0;t");
    EXPECT_EQ(escapeForTerminal("x\x9b"
                                "2J"),
              "x\\x9B2J");
    // Right-to-left override and a first-strong isolate.
    EXPECT_EQ(escapeForTerminal("txt.\xe2\x80\xae"
                                "gpj"),
              "txt.\\xE2\\x80\\xAEgpj");
    EXPECT_EQ(escapeForTerminal("a\xe2\x81\xa8"
                                "b"),
              "a\\xE2\\x81\\xA8"
              "b");
    // The same bytes inside other characters are those characters.
    EXPECT_EQ(escapeForTerminal("\xc4\x9b \xe2\x80\x94 \xe2\x81\xb0"), "\xc4\x9b \xe2\x80\x94 \xe2\x81\xb0");
    for (char32_t c : {U'\x80', U'\x9f', U'\x202a', U'\x202e', U'\x2066', U'\x2069', U'\x7f'})
        EXPECT_TRUE(terminalControl(c));
    for (char32_t c : {U'\xa0', U'\x2029', U'\x2070', U'\x200f', U'\xe9'}) EXPECT_FALSE(terminalControl(c));
}

TEST(TerminalEscape, ReadsBackToTheExactBytes) {
    for (const std::string& text : {std::string("plain"), std::string("\\x41\\\\x\\"), std::string("\x1b[31m\n\\x", 9),
                                    std::string("\0\x7f\xc3\xa9\\", 5), std::string("\xc2\x9b\x9b\xe2\x80\xae")})
        EXPECT_EQ(unescapeFromTerminal(escapeForTerminal(text)), text);
}

TEST(Times, Rfc3339InUtcToTheMillisecond) {
    EXPECT_EQ(rfc3339(std::chrono::system_clock::time_point()), "1970-01-01T00:00:00.000Z");
    EXPECT_EQ(rfc3339(std::chrono::system_clock::time_point(std::chrono::milliseconds(1700000000123))),
              "2023-11-14T22:13:20.123Z");
}

// The service's stored options, as the command line would give them.
TEST(SplitWords, SpacesSeparateAndQuotesKeepTogether) {
    const struct {
        const char* line;
        std::vector<std::string> words;
    } cases[] = {{"", {}},
                 {"  --name NAS\t-v ", {"--name", "NAS", "-v"}},
                 {"--name \"Lab scope\" --url http://{addr}/", {"--name", "Lab scope", "--url", "http://{addr}/"}},
                 {"--name \"\"", {"--name", ""}},
                 {"--name=\"a b\"c", {"--name=a bc"}}};
    for (const auto& c : cases) EXPECT_EQ(splitWords(c.line), c.words) << c.line;
}
