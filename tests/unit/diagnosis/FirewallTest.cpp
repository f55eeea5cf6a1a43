// The readers of the firewall's rules and files.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/diagnosis/Firewall.h"

using namespace webfind;

TEST(FirewallReading, NftablesInputHookDropsOfUdp) {
    const std::string ruleset = R"(table inet filter {
	chain input {
		type filter hook input priority filter; policy accept;
		ct state established,related accept
		tcp dport 22 drop
		udp dport 13576 accept
		meta l4proto udp ip saddr != 127.0.0.1 drop
	}
	chain forward {
		type filter hook forward priority filter; policy drop;
		ip saddr 10.0.0.0/8 drop
	}
}
table ip strict {
	chain in {
		type filter hook input priority 0; policy drop;
	}
}
)";
    std::vector<FirewallDrop> drops = dropsInNftRuleset(ruleset);
    ASSERT_EQ(drops.size(), 2u);
    EXPECT_EQ(drops[0].family, "inet");
    EXPECT_EQ(drops[0].chain, "input");
    EXPECT_EQ(drops[0].rule, "meta l4proto udp ip saddr != 127.0.0.1 drop");
    EXPECT_EQ(drops[1].table, "strict");
    EXPECT_EQ(drops[1].rule, "policy drop");
    EXPECT_TRUE(dropsInNftRuleset("table inet filter {\n}\n").empty());
}

TEST(FirewallReading, IptablesAndUfw) {
    std::vector<FirewallDrop> drops =
        dropsInIptables("-P INPUT ACCEPT\n-A INPUT -p tcp --dport 22 -j DROP\n-A INPUT -s 10.0.0.0/8 -j REJECT\n");
    ASSERT_EQ(drops.size(), 1u);
    EXPECT_EQ(drops[0].rule, "-A INPUT -s 10.0.0.0/8 -j REJECT");
    EXPECT_EQ(dropsInIptables("-P INPUT DROP\n").size(), 1u);

    EXPECT_TRUE(ufwEnabledIn("# comment\nENABLED=yes\nLOGLEVEL=low\n"));
    EXPECT_FALSE(ufwEnabledIn("ENABLED=no\n"));
    EXPECT_FALSE(ufwEnabledIn(""));
}

