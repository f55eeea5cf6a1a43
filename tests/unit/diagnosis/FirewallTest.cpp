// The firewall as a device's answer meets it: rulesets recorded from real
// nft and iptables in private namespaces (rulesets/record.sh), read and
// walked as the kernel would.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "Fixtures.h"
#include "app/diagnosis/Firewall.h"
#include "app/diagnosis/RulesetIptables.h"
#include "app/diagnosis/RulesetNft.h"

using namespace webfind;

using testing::HasSubstr;

namespace {

std::string fixture(const std::string& name) { return rulesetFile(name); }
Ruleset nft(const std::string& name) { return nftRuleset(name); }

// An answer from 10.1.0.0/24 arriving on va1 (10.1.0.1), at `low`-`high`.
UdpArrival answer(uint16_t low, uint16_t high) {
    UdpArrival p;
    p.sourceFirst = 0x0A010000;
    p.sourceLast = 0x0A0100FF;
    p.destination = 0x0A010001;
    p.portLow = low;
    p.portHigh = high;
    p.interface = "va1";
    return p;
}
const UdpArrival ANY_PORT = answer(32768, 60999);
const UdpArrival FIXED_PORT = answer(FIREWALL_PORT, FIREWALL_PORT);

}  // namespace

TEST(FirewallWalk, APolicyDropBlocksWhateverThePort) {
    Ruleset rules = nft("nft-policy-drop");
    for (const UdpArrival& p : {ANY_PORT, FIXED_PORT}) {
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
    UdpArrival viaWireGuard = FIXED_PORT;
    viaWireGuard.interface = "wg0";
    EXPECT_EQ(verdictFor(rules, viaWireGuard).kind, FirewallVerdict::BLOCKS);
    UdpArrival fromThere = answer(53, 53);
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
    UdpArrival lan = ANY_PORT;
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
    EXPECT_EQ(v.what, "udp dport 13576 numgen random mod 2 0 drop");
    EXPECT_EQ(v.uncertain, v.what) << "the rule that makes it uncertain is named";
    // iptables-nft's own matches are opaque in nft's JSON: with policy drop
    // behind them the answer may or may not pass.
    EXPECT_EQ(verdictFor(nft("iptables-nft-drop"), ANY_PORT).kind, FirewallVerdict::UNKNOWN);
}

// Every table is read from nft; iptables-nft-save's view of a table is
// taken only where nft shows iptables' matches as opaque expressions, and
// no table is read twice.
TEST(FirewallReading, EachTableOnceFromWhereItIsReadable) {
    // nft's own "ip filter": iptables-nft-save prints *filter with empty
    // chains, saying it cannot show it.
    Ruleset own =
        mergeIptablesNft(nft("nft-named-like-iptables"),
                         rulesetFromIptablesSave(fixture("nft-named-like-iptables.iptables"), Chain::IPTABLES_NFT));
    for (const Chain& c : own.chains) EXPECT_EQ(c.source, Chain::NFTABLES) << chainName(c);
    FirewallVerdict v = verdictFor(own, ANY_PORT);
    EXPECT_EQ(v.kind, FirewallVerdict::BLOCKS);
    EXPECT_EQ(chainName(*v.chain), "nftables, table ip filter, chain input");
    EXPECT_EQ(v.what, "policy drop");

    // iptables-nft's table with a conntrack match: nft shows it as "xt".
    Ruleset managed = mergeIptablesNft(nft("iptables-nft-drop"),
                                       rulesetFromIptablesSave(fixture("iptables-nft-drop.txt"), Chain::IPTABLES_NFT));
    for (const Chain& c : managed.chains) EXPECT_EQ(c.source, Chain::IPTABLES_NFT) << chainName(c);
    v = verdictFor(managed, ANY_PORT);
    EXPECT_EQ(v.kind, FirewallVerdict::BLOCKS);
    EXPECT_EQ(chainName(*v.chain), "iptables, table filter, chain INPUT");

    // iptables-nft's raw table in plain matches: nft reads it as well.
    Ruleset raw = mergeIptablesNft(nft("iptables-nft-raw"),
                                   rulesetFromIptablesSave(fixture("iptables-nft-raw.txt"), Chain::IPTABLES_NFT));
    v = verdictFor(raw, ANY_PORT);
    EXPECT_EQ(v.kind, FirewallVerdict::BLOCKS);
    EXPECT_EQ(v.what, "udp sport 3576 counter packets 0 bytes 0 drop");
}

// Ingress on the interface the answer arrives at, then prerouting, then
// input: a drop on any of them drops the answers.
TEST(FirewallWalk, EveryHookBeforeInputIsWalked) {
    const Ruleset rules = nft("nft-before-input");
    auto on = [](const char* interface, uint8_t subnet) {
        UdpArrival p = ANY_PORT;
        p.interface = interface;
        p.sourceFirst = 0x0A000000u | uint32_t(subnet) << 16;
        p.sourceLast = p.sourceFirst | 0xFF;
        return p;
    };
    FirewallVerdict v = verdictFor(rules, on("va1", 1));
    EXPECT_EQ(v.kind, FirewallVerdict::BLOCKS);
    EXPECT_EQ(chainName(*v.chain), "nftables, table netdev edge, chain ing");
    v = verdictFor(rules, on("va2", 2));
    EXPECT_EQ(v.kind, FirewallVerdict::BLOCKS);
    EXPECT_EQ(chainName(*v.chain), "nftables, table ip raw, chain pre");
    v = verdictFor(rules, on("va3", 3));
    EXPECT_EQ(v.kind, FirewallVerdict::BLOCKS);
    EXPECT_EQ(chainName(*v.chain), "nftables, table inet mangle, chain pre");
    EXPECT_EQ(verdictFor(rules, on("va4", 4)).kind, FirewallVerdict::ADMITS) << "none of them on this answer's way";
}

// A rule on source addresses drops the answers only where it can meet the
// devices' own subnets; blocklists kept as sets are read with their
// elements.
TEST(FirewallWalk, SourceRulesAreJudgedAgainstTheDevicesSubnets) {
    const Ruleset rules = nft("nft-source-blocklists");
    EXPECT_EQ(verdictFor(rules, ANY_PORT).kind, FirewallVerdict::ADMITS) << "devices on 10.1.0.0/24";
    auto from = [](uint32_t first, uint32_t last) {
        UdpArrival p = ANY_PORT;
        p.sourceFirst = first;
        p.sourceLast = last;
        return p;
    };
    FirewallVerdict v = verdictFor(rules, from(0xCB007100, 0xCB0071FF));  // 203.0.113.0/24
    EXPECT_EQ(v.kind, FirewallVerdict::BLOCKS);
    EXPECT_EQ(v.what, "ip saddr 203.0.113.0/24 drop");
    v = verdictFor(rules, from(0xC6336400, 0xC63364FF));  // 198.51.100.0/24, in the set
    EXPECT_EQ(v.kind, FirewallVerdict::BLOCKS);
    EXPECT_EQ(v.what, "ip saddr @banned drop");
    EXPECT_EQ(verdictFor(rules, from(0xC0000207, 0xC0000207)).kind, FirewallVerdict::BLOCKS)
        << "an element with a timeout";
    EXPECT_EQ(verdictFor(rules, from(0xC0000200, 0xC00002FF)).kind, FirewallVerdict::UNKNOWN)
        << "a subnet that holds one banned address";
}

// firewalld's ruleset: "ct status dnat accept" cannot meet an unsolicited
// answer, and the reject after its zones is what drops the answers; a mark
// that no rule sets cannot be on them; where something does set marks,
// the rule that reads one is what makes the verdict uncertain.
TEST(FirewallWalk, RulesThatCannotMeetAnUnsolicitedAnswerDecideNothing) {
    const Ruleset firewalld = nft("nft-firewalld");
    FirewallVerdict v = verdictFor(firewalld, ANY_PORT);
    EXPECT_EQ(v.kind, FirewallVerdict::BLOCKS);
    EXPECT_EQ(chainName(*v.chain), "nftables, table inet firewalld, chain filter_INPUT");
    EXPECT_EQ(v.what, "reject with icmpx admin-prohibited");
    UdpArrival docker = ANY_PORT;
    docker.interface = "docker0";
    EXPECT_EQ(verdictFor(firewalld, docker).kind, FirewallVerdict::ADMITS);

    v = verdictFor(nft("nft-marks"), ANY_PORT);
    EXPECT_EQ(v.kind, FirewallVerdict::BLOCKS);
    EXPECT_EQ(v.what, "policy drop");
    v = verdictFor(nft("nft-marks-set"), ANY_PORT);
    EXPECT_EQ(v.kind, FirewallVerdict::UNKNOWN);
    EXPECT_EQ(v.what, "policy drop");
    EXPECT_EQ(v.uncertain, "meta mark 0x0000002a accept");
}

TEST(FirewallWalk, IptablesTablesAreReadFromIptablesSave) {
    Ruleset rules = rulesetFromIptablesSave(fixture("iptables-nft-drop.txt"), Chain::IPTABLES_NFT);
    ASSERT_EQ(rules.iptablesTables.size(), 1u);
    EXPECT_EQ(rules.iptablesTables[0], "ip filter");

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
    UdpArrival lan = FIXED_PORT;
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
