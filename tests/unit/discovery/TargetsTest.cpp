// What --target names: exactly the addresses the user named, a range
// without its network and broadcast addresses, and one line for each
// kind of mistake.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/discovery/Targets.h"

using namespace webfind;

TEST(Targets, EachTargetNamesOnlyWhatTheUserNamed) {
    const Resolver resolve = [](const std::string& name, std::vector<Address>& found) {
        if (name == "nas.lan") found = {Address{{10, 2, 0, 9}}, Address{{10, 2, 0, 7}}};
        if (name == "group.lan") found = {Address{{239, 1, 1, 1}}};
        return !found.empty();
    };
    const struct {
        const char* text;
        size_t count;  // 0: refused
        const char* first;
        const char* last;
        const char* problem;
    } cases[] = {
        {"10.2.0.5", 1, "10.2.0.5", "10.2.0.5", ""},
        {"10.2.0.77/24", 254, "10.2.0.1", "10.2.0.254", ""},
        {"10.2.0.6/31", 2, "10.2.0.6", "10.2.0.7", ""},
        {"10.2.0.6/32", 1, "10.2.0.6", "10.2.0.6", ""},
        {"10.2.0.0/16", 65534, "10.2.0.1", "10.2.255.254", ""},
        {"nas.lan", 2, "10.2.0.7", "10.2.0.9", ""},
        {"10.2.0.0/15", 0, "", "", "is wider than /16"},
        {"10.2.0.0/33", 0, "", "", "is no address, range"},
        {"10.2.0.0/", 0, "", "", "is no address, range"},
        {"239.1.0.0/24", 0, "", "", "multicast range"},
        {"224.0.0.138", 0, "", "", "a multicast address"},
        {"group.lan", 0, "", "", "a multicast address"},
        {"255.255.255.255", 0, "", "", "the broadcast address"},
        {"0.0.0.0", 0, "", "", "no host's address"},
        {"nowhere.lan", 0, "", "", "does not resolve"},
    };
    for (const auto& c : cases) {
        std::vector<Address> targets;
        std::string problem;
        EXPECT_EQ(addTargets(c.text, resolve, targets, problem), c.count > 0) << c.text;
        if (c.count == 0) {
            EXPECT_NE(problem.find(std::string("'") + c.text + "' "), std::string::npos) << problem;
            EXPECT_NE(problem.find(c.problem), std::string::npos) << c.text << ": " << problem;
            continue;
        }
        ASSERT_EQ(targets.size(), c.count) << c.text;
        EXPECT_EQ(targets.front().text(), c.first);
        EXPECT_EQ(targets.back().text(), c.last);
    }
}

TEST(Targets, TargetsNamedTwiceAreProbedOnceInAddressOrder) {
    std::vector<Address> targets;
    std::string problem;
    const Resolver none = [](const std::string&, std::vector<Address>&) { return false; };
    for (const char* t : {"10.2.0.9", "10.2.0.8/30", "10.1.0.1"}) EXPECT_TRUE(addTargets(t, none, targets, problem));
    std::vector<std::string> texts;
    for (const Address& a : targets) texts.push_back(a.text());
    EXPECT_EQ(texts, (std::vector<std::string>{"10.1.0.1", "10.2.0.9", "10.2.0.10"}));
}
