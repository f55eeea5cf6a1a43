// The commands a POSIX desktop tries, in turn, to open a URL.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/desktop/Opener.h"

using namespace webfind;

TEST(OpenerCommands, BrowserEntriesThenWslviewThenTheSystemOpener) {
    using Commands = std::vector<std::vector<std::string>>;
    const std::string url = "http://x/a%20b";
    EXPECT_EQ(openerCommands(url, nullptr, false, "xdg-open"), (Commands{{"xdg-open", url}}));
    EXPECT_EQ(openerCommands(url, "", true, "xdg-open"), (Commands{{"wslview", url}, {"xdg-open", url}}));
    EXPECT_EQ(openerCommands(url, "firefox --new-tab %s:chromium:", false, "xdg-open"),
              (Commands{{"firefox", "--new-tab", url}, {"chromium", url}, {"xdg-open", url}}));
    EXPECT_EQ(openerCommands(url, "b --url=%s --pct=100%%", false, "open"),
              (Commands{{"b", "--url=" + url, "--pct=100%"}, {"open", url}}));
}
