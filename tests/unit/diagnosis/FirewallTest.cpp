// The firewall as a device's answer meets it: rulesets recorded from real
// nft and iptables in private namespaces (rulesets/record.sh), read and
// walked as the kernel would.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "Fixtures.h"
#include "app/diagnosis/Firewall.h"

using namespace webfind;

using testing::HasSubstr;

namespace {

std::string fixture(const std::string& name) { return rulesetFile(name); }
Ruleset nft(const std::string& name) { return nftRuleset(name); }

// An answer from 10.1.0.0/24 arriving on va1 (10.1.0.1), at `low`-`high`.
AnswerPacket answer(uint16_t low, uint16_t high) {
    AnswerPacket p;
    p.sourceFirst = 0x0A010000;
    p.sourceLast = 0x0A0100FF;
    p.destination = 0x0A010001;
    p.portLow = low;
    p.portHigh = high;
    p.interface = "va1";
    return p;
}
const AnswerPacket ANY_PORT = answer(32768, 60999);
const AnswerPacket FIXED_PORT = answer(FIREWALL_PORT, FIREWALL_PORT);

}  // namespace

TEST(FirewallWalk, APolicyDropBlocksWhateverThePort) {
    Ruleset rules = nft("nft-policy-drop");
    for (const AnswerPacket& p : {ANY_PORT, FIXED_PORT}) {
        FirewallVerdict v = verdictFor(rules, p);
        EXPECT_EQ(v.kind, FirewallVerdict::BLOCKS);
        ASSERT_NE(v.chain, nullptr);
        EXPECT_EQ(chainName(*v.chain), "nftables, table inet filter, chain input");
        EXPECT_EQ(v.what, "policy drop");
    }
}

TEST(FirewallWalk, ATrailingRejectWithAnIcmpTypeBlocks) {
    FirewallVerdict v = verdictFor(nft("nft-reject-icmp"), ANY_PORT);
    EXPECT_EQ(v.kind, FirewallVerdict::BLOCKS);
    EXPECT_EQ(v.what, "reject with icmp port-unreachable") << "the rule as nft lists it";
}

TEST(FirewallWalk, DropsThatCannotMeetTheAnswerLetItIn) {
    // ct state invalid, another source, another port, TCP, another interface.
    Ruleset rules = nft("nft-harmless-drops");
    EXPECT_EQ(verdictFor(rules, ANY_PORT).kind, FirewallVerdict::ADMITS);
    EXPECT_EQ(verdictFor(rules, FIXED_PORT).kind, FirewallVerdict::ADMITS);
    // The same rules do drop an answer they can meet.
    AnswerPacket viaWireGuard = FIXED_PORT;
    viaWireGuard.interface = "wg0";
    EXPECT_EQ(verdictFor(rules, viaWireGuard).kind, FirewallVerdict::BLOCKS);
    AnswerPacket fromThere = answer(53, 53);
    fromThere.sourceFirst = fromThere.sourceLast = 0xCB007105;  // 203.0.113.5
    EXPECT_EQ(verdictFor(rules, fromThere).kind, FirewallVerdict::BLOCKS);
}

TEST(FirewallWalk, AnAcceptForTheFixedPortOnlyHelpsThatPort) {
    Ruleset rules = nft("nft-admits-fixed-port");
    EXPECT_EQ(verdictFor(rules, ANY_PORT).kind, FirewallVerdict::BLOCKS);
    EXPECT_EQ(verdictFor(rules, FIXED_PORT).kind, FirewallVerdict::ADMITS);
}

TEST(FirewallWalk, JumpsReturnsAndPrioritiesAcrossTables) {
    // prerouting: from 192.168.1.0/24, jump to a chain that lets 13576
    // return and drops the other high ports.
    Ruleset rules = nft("nft-chains-and-priorities");
    AnswerPacket lan = ANY_PORT;
    lan.sourceFirst = 0xC0A80100;
    lan.sourceLast = 0xC0A801FF;
    FirewallVerdict v = verdictFor(rules, lan);
    EXPECT_EQ(v.kind, FirewallVerdict::BLOCKS);
    ASSERT_NE(v.base, nullptr);
    EXPECT_EQ(v.base->name, "pre");
    EXPECT_EQ(v.chain->name, "lan");
    EXPECT_EQ(v.what, "udp dport 1024-65535 drop");
    lan.portLow = lan.portHigh = FIREWALL_PORT;
    EXPECT_EQ(verdictFor(rules, lan).kind, FirewallVerdict::ADMITS);
    EXPECT_EQ(verdictFor(rules, ANY_PORT).kind, FirewallVerdict::ADMITS) << "another LAN never jumps";
}

TEST(FirewallWalk, RulesThatCannotBeReadAreUnknownNeverBlocking) {
    FirewallVerdict v = verdictFor(nft("nft-unreadable-rule"), FIXED_PORT);
    EXPECT_EQ(v.kind, FirewallVerdict::UNKNOWN);
    EXPECT_EQ(v.what, "meta mark 0x0000002a drop");
    // iptables-nft's own matches are opaque in nft's JSON: with policy drop
    // behind them the answer may or may not pass.
    EXPECT_EQ(verdictFor(nft("iptables-nft-drop"), ANY_PORT).kind, FirewallVerdict::UNKNOWN);
}

TEST(FirewallWalk, IptablesTablesAreReadFromIptablesSave) {
    Ruleset rules = rulesetFromIptablesSave(fixture("iptables-nft-drop.txt"), Chain::IPTABLES_NFT);
    ASSERT_EQ(rules.iptablesTables.size(), 1u);
    EXPECT_EQ(rules.iptablesTables[0], "ip filter");
    Ruleset listing = rulesetFromNft(fixture("iptables-nft-drop.json"), fixture("iptables-nft-drop.nft"), rules.iptablesTables);
    EXPECT_TRUE(listing.chains.empty()) << "left to iptables-nft-save";

    FirewallVerdict v = verdictFor(rules, ANY_PORT);
    EXPECT_EQ(v.kind, FirewallVerdict::BLOCKS);
    EXPECT_EQ(chainName(*v.chain), "iptables, table filter, chain INPUT");
    EXPECT_EQ(v.what, "policy drop");

    Ruleset legacy = rulesetFromIptablesSave(fixture("iptables-legacy-drop.txt"), Chain::IPTABLES_LEGACY);
    v = verdictFor(legacy, ANY_PORT);
    EXPECT_EQ(v.kind, FirewallVerdict::BLOCKS);
    EXPECT_EQ(chainName(*v.chain), "iptables-legacy, table filter, chain INPUT");
    EXPECT_EQ(verdictFor(legacy, answer(53, 53)).kind, FirewallVerdict::ADMITS);
}

TEST(FirewallWalk, UfwDropsUnlessItsUserRuleAdmitsThePortFromTheLan) {
    Ruleset plain = rulesetFromIptablesSave(fixture("ufw-enabled.txt"), Chain::IPTABLES_NFT);
    FirewallVerdict v = verdictFor(plain, FIXED_PORT);
    EXPECT_EQ(v.kind, FirewallVerdict::BLOCKS) << "through ufw's chains to INPUT's policy";
    EXPECT_EQ(v.what, "policy drop");

    Ruleset allowing = rulesetFromIptablesSave(fixture("ufw-enabled-allows-13576.txt"), Chain::IPTABLES_NFT);
    AnswerPacket lan = FIXED_PORT;
    lan.sourceFirst = 0xC0A80100;
    lan.sourceLast = 0xC0A801FF;
    lan.destination = 0xC0A80105;
    EXPECT_EQ(verdictFor(allowing, lan).kind, FirewallVerdict::ADMITS);
    EXPECT_EQ(verdictFor(allowing, FIXED_PORT).kind, FirewallVerdict::BLOCKS) << "the rule admits 192.168.1.0/24 alone";
}

TEST(FirewallWalk, AnAcceptPutFirstIsCheckedAgainstTheWholeRuleset) {
    Ruleset rules = nft("nft-policy-drop");
    FirewallVerdict v = verdictFor(rules, FIXED_PORT);
    ASSERT_NE(v.base, nullptr);
    EXPECT_EQ(verdictFor(withRuleFirst(rules, *v.base, acceptUdpTo(FIREWALL_PORT)), FIXED_PORT).kind,
              FirewallVerdict::ADMITS);
    EXPECT_EQ(verdictFor(withRuleFirst(rules, *v.base, acceptUdpTo(FIREWALL_PORT)), ANY_PORT).kind,
              FirewallVerdict::BLOCKS);
}

TEST(FirewallReading, WhatIsNotUnderstoodNeverReadsAsADrop) {
    // Not JSON at all, a named set, a verdict map, an unknown iptables module.
    EXPECT_TRUE(rulesetFromNft("not json", "").chains.empty());
    Ruleset odd = rulesetFromIptablesSave(
        "*filter\n:INPUT ACCEPT [0:0]\n-A INPUT -m recent --rcheck --seconds 60 --name scan -j DROP\n"
        "-A INPUT -p udp -m set --match-set blocked src -j DROP\n-A INPUT -j NFQUEUE --queue-num 1\nCOMMIT\n",
        Chain::IPTABLES_LEGACY);
    FirewallVerdict v = verdictFor(odd, ANY_PORT);
    EXPECT_EQ(v.kind, FirewallVerdict::UNKNOWN);
    EXPECT_THAT(v.what, HasSubstr("-m recent"));
}

TEST(FirewallReading, UfwsOwnSwitch) {
    EXPECT_TRUE(ufwEnabledIn("# comment\nENABLED=yes\nLOGLEVEL=low\n"));
    EXPECT_TRUE(ufwEnabledIn("ENABLED=\"yes\"\n"));
    EXPECT_FALSE(ufwEnabledIn("ENABLED=no\n"));
    EXPECT_FALSE(ufwEnabledIn(""));
}
