// What the Windows installer's helper changes: the system's PATH, one
// folder added once and taken away wholly, the rest as it was; and the
// firewall rules, each for one program and one port.

#include <gtest/gtest.h>

#include <string>

#include "app/base/PathList.h"
#include "tools/setup/Rules.h"

using namespace webfind;

TEST(InstallerPath, TheFolderIsAddedOnceAndRemovedWholly) {
    const std::string dir = "C:\\Program Files\\webfind\\";
    const struct {
        const char* before;
        const char* added;
        const char* removed;
    } cases[] = {
        {"", "C:\\Program Files\\webfind\\", ""},
        {"C:\\Windows;C:\\Tools", "C:\\Windows;C:\\Tools;C:\\Program Files\\webfind\\", "C:\\Windows;C:\\Tools"},
        {"C:\\Windows;", "C:\\Windows;C:\\Program Files\\webfind\\", "C:\\Windows"},
        {"c:\\program files\\WEBFIND;C:\\Windows", "c:\\program files\\WEBFIND;C:\\Windows", "C:\\Windows"},
        {"C:\\Program Files\\webfind2;C:\\Windows",
         "C:\\Program Files\\webfind2;C:\\Windows;C:\\Program Files\\webfind\\",
         "C:\\Program Files\\webfind2;C:\\Windows"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(withFolder(c.before, dir), c.added) << c.before;
        EXPECT_EQ(withoutFolder(c.added, dir), c.removed) << c.before;
    }
}

TEST(InstallerFirewall, EachRuleAdmitsOneProgramOnItsOwnPort) {
    const auto rules = installerRules("C:\\Program Files\\webfind");
    ASSERT_EQ(rules.size(), 2u);
    EXPECT_EQ(rules[0].program, "C:\\Program Files\\webfind\\webfind-announce.exe");
    EXPECT_EQ(rules[0].port, 3576);
    EXPECT_EQ(rules[1].program, "C:\\Program Files\\webfind\\webfind.exe");
    EXPECT_EQ(rules[1].port, 13576);
    EXPECT_NE(rules[0].name, rules[1].name) << "rules are removed by name";
}
