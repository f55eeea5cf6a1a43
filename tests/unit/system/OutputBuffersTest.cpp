// The stream buffers: whole lines for a Windows console, blocks for a file
// or a pipe, and how each line goes to a console.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "app/system/Console.h"
#include "app/system/OutputBuffers.h"

using namespace webfind;

using testing::ElementsAre;

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
    BlockBuffer buffer(
        [&](const std::string& bytes) {
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

// The window is held only when it would vanish with the list: webfind alone
// in a console it reads and writes, shown on the screen. From a terminal
// (others share the console), a script, a pipe or a hidden console, never.
TEST(ConsoleWindow, HeldOnlyWhenItWouldCloseWithTheProgram) {
    const struct {
        ConsoleFacts facts;
        bool held;
    } cases[] = {{{1, true, true, true}, true},   {{2, true, true, true}, false},  {{0, false, false, false}, false},
                 {{1, false, true, true}, false}, {{1, true, false, true}, false}, {{1, true, true, false}, false}};
    for (const auto& c : cases)
        EXPECT_EQ(windowClosesWithProgram(c.facts), c.held)
            << c.facts.processes << " " << c.facts.inputIsConsole << c.facts.outputIsConsole;
}
