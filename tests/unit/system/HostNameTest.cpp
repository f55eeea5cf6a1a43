// The fully qualified name a hosts file gives this host, read as Debian
// writes it, with nothing taken from a line that does not name the host.

#include <gtest/gtest.h>

#include "app/system/HostName.h"

using webfind::qualifiedIn;

TEST(HostName, TheHostsFileGivesTheQualifiedName) {
    const char* const hosts =
        "127.0.0.1\tlocalhost\n"
        "# 127.0.1.1 nas.example.org nas\n"
        "10.0.0.9 nasbox.example.org nasbox\n"
        "127.0.1.1\tnas.lan.example.org nas   # added by the installer\n";
    EXPECT_EQ(qualifiedIn(hosts, "nas"), "nas.lan.example.org");
    EXPECT_EQ(qualifiedIn(hosts, "nasbox"), "nasbox.example.org");
    EXPECT_EQ(qualifiedIn(hosts, "localhost"), "") << "no dotted name on its line";
    EXPECT_EQ(qualifiedIn(hosts, "na"), "") << "a prefix of another name is not it";
}
