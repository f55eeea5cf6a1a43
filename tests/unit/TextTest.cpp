// UTF-8 checks and conversion, and the line-at-a-time stream buffer that a
// Windows console is written through.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "app/OutputBuffers.h"
#include "app/Utf8.h"

using namespace webfind;

using testing::ElementsAre;

TEST(Utf8, AcceptsWellFormedText) {
    for (const char* text : {"", "plain ASCII", "Caf\xC3\xA9", "\xE2\x82\xAC 5", "\xF0\x9F\x93\xB7 camera",
                             "\xEF\xBF\xBF", "\xF4\x8F\xBF\xBF", "\xED\x9F\xBF"})
        EXPECT_TRUE(validUtf8(text)) << text;
}

TEST(Utf8, RejectsWhatIsNotUtf8) {
    const std::vector<std::string> bad = {
        "\xFF",                // never a UTF-8 byte
        "\xE9t\xE9",           // Latin-1 text
        "\xC3",                // cut short
        "\xE2\x82",            // cut short
        "\xA9",                // continuation without a lead
        "\xC0\xAF",            // overlong "/"
        "\xE0\x80\xAF",        // overlong "/"
        "\xF0\x82\x82\xAC",    // overlong euro sign
        "\xED\xA0\x80",        // a surrogate
        "\xF4\x90\x80\x80",    // above U+10FFFF
        "\xC3(",               // lead followed by a non-continuation
        std::string("ok\xC3", 3),
    };
    for (const std::string& text : bad) EXPECT_FALSE(validUtf8(text)) << testing::PrintToString(text);
}

TEST(Utf8, ConvertsToUtf16WithSurrogatePairs) {
    EXPECT_EQ(utf16FromUtf8("http://host/\xC3\xA9"), u"http://host/\u00E9");
    EXPECT_EQ(utf16FromUtf8("\xE2\x82\xAC"), u"\u20AC");
    EXPECT_EQ(utf16FromUtf8("\xF0\x9F\x93\xB7!"), std::u16string(u"\xD83D\xDCF7!"));
    EXPECT_EQ(utf16FromUtf8(std::string("a\0b", 3)), std::u16string(u"a\0b", 3));
}

class LineBufferTest : public testing::Test {
protected:
    LineBuffer buffer{[this](const std::string& text) {
        handed.push_back(text);
        return sinkWorks;
    }};
    std::ostream stream{&buffer};
    std::vector<std::string> handed;
    bool sinkWorks = true;
};

TEST_F(LineBufferTest, HandsOverWholeLinesAndAFlushedRest) {
    stream << "Name:a URL:http://a/\nName:b";
    EXPECT_THAT(handed, ElementsAre("Name:a URL:http://a/\n"));
    stream << " URL:http://b/\nfirst\nsecond\nhalf";
    EXPECT_THAT(handed, ElementsAre("Name:a URL:http://a/\n", "Name:b URL:http://b/\n", "first\n", "second\n"));
    stream << std::flush;
    EXPECT_EQ(handed.back(), "half");
    stream << std::flush;
    EXPECT_EQ(handed.size(), 5u) << "an empty flush hands over nothing";
    EXPECT_TRUE(stream.good());
}

TEST_F(LineBufferTest, AFailedWriteFailsTheStream) {
    sinkWorks = false;
    stream << "lost\n";
    EXPECT_TRUE(stream.bad());

    std::ostream later(&buffer);
    later << "unfinished";
    EXPECT_TRUE(later.good());
    later << std::flush;
    EXPECT_TRUE(later.bad());
}

TEST(BlockBufferTest, HandsOverFullBlocksAndWhatAFlushFinds) {
    std::vector<std::string> handed;
    bool works = true;
    BlockBuffer buffer([&](const std::string& bytes) {
                           handed.push_back(bytes);
                           return works;
                       },
                       8);
    std::ostream stream(&buffer);
    stream << "0123456789";
    EXPECT_THAT(handed, ElementsAre("01234567")) << "nothing is written before a block is full";
    stream << std::flush;
    EXPECT_THAT(handed, ElementsAre("01234567", "89"));
    EXPECT_TRUE(stream.good());

    works = false;
    stream << "lost" << std::flush;
    EXPECT_TRUE(stream.bad()) << "a failed write must not pass for a written listing";
}

TEST(ConsoleLineChoice, Utf8AsTextOtherBytesAsTheyAre) {
    ConsoleLine utf8 = forConsole("Name:Caf\xC3\xA9 URL:http://x/\n");
    EXPECT_TRUE(utf8.asText);
    EXPECT_EQ(utf8.text, u"Name:Caf\u00E9 URL:http://x/\n");
    EXPECT_FALSE(forConsole("Name:Caf\xE9 URL:http://x/\n").asText);
    EXPECT_TRUE(forConsole("Socket Send Err\n").asText);
}
