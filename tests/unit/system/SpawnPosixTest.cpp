// Child processes: a command's output and status, a command that hangs, what
// a child inherits, and that starting openers changes nothing for the
// commands run after them.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "app/desktop/Opener.h"
#include "app/system/Spawn.h"

using namespace webfind;

TEST(CommandOutput, TheOutputAndWhetherItSucceeded) {
    std::string output;
    EXPECT_TRUE(commandOutput({"sh", "-c", "printf 'one\\ntwo'"}, output));
    EXPECT_EQ(output, "one\ntwo");
    EXPECT_FALSE(commandOutput({"sh", "-c", "echo partial; exit 3"}, output));
    EXPECT_EQ(output, "partial\n");
    EXPECT_FALSE(commandOutput({"webfind-no-such-command"}, output));
}

TEST(CommandOutput, AHangingCommandIsEndedAndFails) {
    std::string output;
    EXPECT_FALSE(commandOutput({"sleep", "30"}, output, std::chrono::milliseconds(100)));
}

TEST(CommandOutput, OnlyTheStandardDescriptorsReachTheChild) {
    if (access("/proc/self/fd", R_OK) != 0) GTEST_SKIP() << "no /proc/self/fd to look at here";
    // Inheritable on purpose: the spawn itself must keep it from the child.
    const int leaky = 57;
    int opened = ::open("/dev/null", O_RDONLY);
    ASSERT_EQ(::dup2(opened, leaky), leaky);
    ::close(opened);
    std::string output;
    ASSERT_TRUE(commandOutput({"sh", "-c", "for f in /proc/$$/fd/*; do echo \"${f##*/}\"; done"}, output));
    ::close(leaky);
    // Beside 0-2 only the listing's own descriptor, which the shell opened.
    EXPECT_EQ(output.find("57\n"), std::string::npos) << output;
    EXPECT_EQ(output.rfind("0\n1\n2\n", 0), 0u) << output;
}

// Starting an opener once made every later command's status unreadable
// (SIGCHLD ignored process-wide): a failing command passed for a success.
TEST(CommandOutput, StatusesStayTrueAfterAnOpenerWasStarted) {
    struct sigaction before {};
    sigaction(SIGCHLD, nullptr, &before);
    const char* browser = std::getenv("BROWSER");
    const std::string saved = browser ? browser : "";
    setenv("BROWSER", "true", 1);
    std::string why;
    EXPECT_TRUE(openUrl("http://example.invalid/", why)) << why;
    browser ? setenv("BROWSER", saved.c_str(), 1) : unsetenv("BROWSER");

    std::string output;
    EXPECT_FALSE(commandOutput({"sh", "-c", "exit 3"}, output));
    struct sigaction after {};
    sigaction(SIGCHLD, nullptr, &after);
    EXPECT_EQ(after.sa_handler, before.sa_handler) << "SIGCHLD changed for the whole process";
}
