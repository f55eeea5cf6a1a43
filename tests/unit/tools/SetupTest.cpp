// What the Windows installer's helper changes: the system's PATH, one
// folder added once and taken away wholly, the rest as it was; and the
// firewall rules, each for one program and one port.

#include <gtest/gtest.h>

#include <string>
#include <vector>

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

namespace {

class RecordingFirewall : public Firewall {
public:
    bool remove(const std::string& name) override {
        calls.push_back("remove " + name);
        return true;
    }
    bool add(const FirewallRule& rule) override {
        calls.push_back("add " + rule.name + " " + rule.program + " udp " + std::to_string(rule.port));
        return rule.port != failing;
    }
    std::vector<std::string> calls;
    uint16_t failing = 0;
};

}  // namespace

// An install replaces what an earlier one left; an uninstall removes; one
// rule that cannot be added leaves the other tried and the whole failed.
TEST(InstallerFirewall, InstallReplacesUninstallRemovesAndAFailureIsSaid) {
    RecordingFirewall firewall;
    EXPECT_TRUE(applyRules(firewall, "C:\\webfind", true));
    EXPECT_EQ(firewall.calls, (std::vector<std::string>{
                                  "remove webfind-announce (probes, UDP 3576)",
                                  "add webfind-announce (probes, UDP 3576) C:\\webfind\\webfind-announce.exe udp 3576",
                                  "remove webfind (answers, UDP 13576)",
                                  "add webfind (answers, UDP 13576) C:\\webfind\\webfind.exe udp 13576"}));
    firewall.calls.clear();
    EXPECT_TRUE(applyRules(firewall, "C:\\webfind", false));
    EXPECT_EQ(firewall.calls, (std::vector<std::string>{"remove webfind-announce (probes, UDP 3576)",
                                                        "remove webfind (answers, UDP 13576)"}));
    firewall.calls.clear();
    firewall.failing = 3576;
    EXPECT_FALSE(applyRules(firewall, "C:\\webfind", true));
    EXPECT_EQ(firewall.calls.size(), 4u) << "the other rule is still tried";
}
