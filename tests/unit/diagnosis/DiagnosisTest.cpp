// Why nothing was found, on made-up hosts: only causes that are there, most
// likely first, each with its next step.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "Fixtures.h"
#include "app/diagnosis/Announcing.h"
#include "app/diagnosis/Diagnosis.h"
#include "app/diagnosis/RulesetIptables.h"

using namespace webfind;
using BRIVO::InterfaceKind;
using BRIVO::LocalInterface;
using testing::HasSubstr;
using testing::Not;

namespace {

LocalInterface iface(const char* name, uint8_t a, uint8_t b, uint8_t c, uint8_t d, InterfaceKind kind, bool up = true) {
    return LocalInterface{
        name, {a, b, c, d}, {255, 255, 255, 0}, up, kind != InterfaceKind::LOOPBACK, kind == InterfaceKind::LOOPBACK,
        kind, true};
}

// A laptop on a LAN, the probe routed out of its Ethernet card, its
// firewall read (as root) and found empty.
HostFacts plainHost() {
    HostFacts h;
    h.firewall.read = true;
    h.interfaces = {iface("lo", 127, 0, 0, 1, InterfaceKind::LOOPBACK),
                    iface("eth0", 192, 168, 1, 5, InterfaceKind::HARDWARE)};
    h.multicastRoute = true;
    const uint8_t source[4] = {192, 168, 1, 5};
    std::copy(source, source + 4, h.probeSource);
    return h;
}

size_t at(const std::string& text, const std::string& what) {
    size_t position = text.find(what);
    EXPECT_NE(position, std::string::npos) << what << " missing in:\n" << text;
    return position;
}

}  // namespace

TEST(NothingFound, WithNothingDetectedAShortChecklist) {
    std::string text = explainNothingFound(plainHost(), DiagnosisContext{});
    EXPECT_THAT(text, HasSubstr("nothing on this host explains it"));
    EXPECT_THAT(text, HasSubstr("another subnet or VLAN"));
    EXPECT_THAT(text, HasSubstr("isolates its clients"));
    EXPECT_THAT(text, Not(HasSubstr("firewall")));
}

TEST(NothingFound, AFirewallThatCannotBeReadIsNeverInnocent) {
    HostFacts h = plainHost();
    h.firewall.read = false;
    h.firewall.unreadable = "reading it needs root";
    std::string text = explainNothingFound(h, DiagnosisContext{});
    EXPECT_THAT(text, Not(HasSubstr("nothing on this host explains it")));
    EXPECT_THAT(text, HasSubstr("The firewall could not be checked (reading it needs root): a host firewall"));
    EXPECT_THAT(text, HasSubstr("Next: sudo webfind -v"));
}

TEST(NothingFound, UfwAndFirewalldAdviceNamesTheProfileOnlyWhereItIsInstalled) {
    HostFacts ufw = plainHost();
    ufw.firewall.read = false;
    ufw.firewall.ufwEnabled = true;
    std::string text = explainNothingFound(ufw, DiagnosisContext{});
    EXPECT_THAT(text, HasSubstr("ufw is enabled"));
    EXPECT_THAT(text, HasSubstr("sudo ufw allow from 192.168.1.0/24 to any port 13576 proto udp"));
    EXPECT_THAT(text, HasSubstr("then run webfind --port 13576, or set WEBFIND_PORT=13576"));
    ufw.firewall.ufwProfiles = {"webfind"};
    EXPECT_THAT(explainNothingFound(ufw, DiagnosisContext{}),
                HasSubstr("sudo ufw allow from 192.168.1.0/24 to any app webfind"));

    HostFacts firewalld = plainHost();
    firewalld.firewall.read = false;
    firewalld.firewall.firewalldRunning = true;
    EXPECT_THAT(explainNothingFound(firewalld, DiagnosisContext{}),
                HasSubstr("sudo firewall-cmd --permanent --add-port=13576/udp && sudo firewall-cmd --reload"));
    firewalld.firewall.firewalldServices = {"webfind"};
    EXPECT_THAT(explainNothingFound(firewalld, DiagnosisContext{}),
                HasSubstr("sudo firewall-cmd --permanent --add-service=webfind && sudo firewall-cmd --reload"));
}

TEST(NothingFound, ARuleThatDropsIsNamedWithTheCommandsThatOpenItAndHowToKeepThem) {
    HostFacts h = plainHost();
    h.firewall.ruleset = nftRuleset("nft-policy-drop");
    std::string text = explainNothingFound(h, DiagnosisContext{});
    EXPECT_THAT(text,
                HasSubstr("The firewall drops incoming UDP (nftables, table inet filter, chain input: policy drop)"));
    EXPECT_THAT(text, HasSubstr("Next: sudo nft insert rule inet filter input udp dport 13576 accept\n"));
    EXPECT_THAT(text, HasSubstr("then run webfind --port 13576"));
    EXPECT_THAT(text, HasSubstr("Keep: add \"udp dport 13576 accept\" to the file your system loads its nftables rules "
                                "from, in chain input of table inet filter, before its first rule \"ct state "
                                "established,related accept\": until then it lasts until the next reboot\n"));
    h.firewall.nftablesConf = true;
    EXPECT_THAT(explainNothingFound(h, DiagnosisContext{}),
                HasSubstr("Keep: add \"udp dport 13576 accept\" to /etc/nftables.conf, in chain input of table inet "
                          "filter, before its first rule \"ct state established,related accept\": nftables.service "
                          "loads that file at boot\n"));

    h.firewall.ruleset = nftRuleset("nft-reject-icmp");
    EXPECT_THAT(explainNothingFound(h, DiagnosisContext{}),
                HasSubstr("(nftables, table inet filter, chain input: reject with icmp port-unreachable)"));
}

TEST(NothingFound, DropsThatCannotMeetTheAnswersReadAsNoRulesAtAll) {
    HostFacts h = plainHost();
    const std::string clean = explainNothingFound(h, DiagnosisContext{});
    h.firewall.ruleset = nftRuleset("nft-harmless-drops");
    EXPECT_EQ(explainNothingFound(h, DiagnosisContext{}), clean);
}

// A blocklist of other addresses is no cause on a host whose devices are on
// its own LAN, whatever interface the probe took; it is one where it can
// meet them.
TEST(NothingFound, RulesOnSourceAddressesAreJudgedAgainstTheDevicesSubnets) {
    HostFacts h = plainHost();
    const std::string clean = explainNothingFound(h, DiagnosisContext{});
    h.firewall.ruleset = nftRuleset("nft-source-blocklists");
    EXPECT_EQ(explainNothingFound(h, DiagnosisContext{}), clean) << "devices on 192.168.1.0/24";
    h.multicastRoute = false;  // no route: every interface that may reach devices
    EXPECT_THAT(explainNothingFound(h, DiagnosisContext{}), HasSubstr("nothing on this host explains it"));
    h.interfaces.push_back(
        LocalInterface{"eth1", {203, 0, 113, 5}, {255, 255, 255, 0}, true, true, false, InterfaceKind::HARDWARE, true});
    EXPECT_THAT(explainNothingFound(h, DiagnosisContext{}),
                HasSubstr("The firewall drops incoming UDP (nftables, table inet filter, chain input: ip saddr "
                          "203.0.113.0/24 drop)"))
        << "the devices behind eth1 are on 203.0.113.0/24";
    h.interfaces.back() =
        LocalInterface{"eth1", {198, 51, 100, 5}, {255, 255, 255, 0}, true, true, false, InterfaceKind::HARDWARE, true};
    EXPECT_THAT(explainNothingFound(h, DiagnosisContext{}),
                HasSubstr("(nftables, table inet filter, chain input: ip saddr @banned drop): its set @banned holds "
                          "addresses of 198.51.100.0/24, where the devices answer from."))
        << "a blocklist is named as the cause, not the answers' state";
}

// firewalld's own ruleset: its reject is named, not a "may drop" on its
// ct status rule; where a rule truly cannot be judged, that rule is named.
TEST(NothingFound, AnUncertainVerdictNamesTheRuleThatMakesItSo) {
    HostFacts h = plainHost();
    h.firewall.ruleset = nftRuleset("nft-firewalld");
    EXPECT_THAT(explainNothingFound(h, DiagnosisContext{}),
                HasSubstr("The firewall drops incoming UDP (nftables, table inet firewalld, chain filter_INPUT: reject "
                          "with icmpx admin-prohibited)"));
    h.firewall.ruleset = nftRuleset("nft-marks-set");
    EXPECT_THAT(explainNothingFound(h, DiagnosisContext{}),
                HasSubstr("The firewall may drop the answers (nftables, table inet filter, chain input: policy drop, "
                          "unless \"meta mark 0x0000002a accept\" in nftables, table inet filter, chain input decides "
                          "first: webfind cannot tell what that rule does to them)"));
}

TEST(NothingFound, WhenTheFixedPortIsAdmittedThePortIsWhatIsMissing) {
    HostFacts h = plainHost();
    h.firewall.ruleset = nftRuleset("nft-admits-fixed-port");
    std::string text = explainNothingFound(h, DiagnosisContext{});
    EXPECT_THAT(
        text,
        HasSubstr("The firewall admits answers at port 13576, but this run took them at a port the system chose"));
    EXPECT_THAT(text, HasSubstr("Next: webfind --port 13576, or set WEBFIND_PORT=13576 for every run\n"));
    EXPECT_THAT(text, Not(HasSubstr("nft insert")));
    DiagnosisContext withPort;
    withPort.port = FIREWALL_PORT;
    EXPECT_THAT(explainNothingFound(h, withPort), HasSubstr("nothing on this host explains it"));

    // Other ports only may be dropped (a rule that cannot be judged lets
    // some through): the port is still what is missing, said as a step of
    // its own.
    Rule unreadable;
    unreadable.conditions = {Condition{}};
    unreadable.verdict = Rule::ACCEPT;
    unreadable.text = "numgen random mod 2 0 accept";
    h.firewall.ruleset.chains[0].rules.push_back(unreadable);
    text = explainNothingFound(h, DiagnosisContext{});
    EXPECT_THAT(text, HasSubstr("Next: webfind --port 13576, or set WEBFIND_PORT=13576 for every run\n"));
    EXPECT_THAT(text, Not(HasSubstr("then run")));
}

TEST(NothingFound, TablesOfIptablesGetIptablesCommands) {
    HostFacts h = plainHost();
    h.firewall.ruleset = rulesetFromIptablesSave(rulesetFile("iptables-nft-drop.txt"), Chain::IPTABLES_NFT);
    std::string text = explainNothingFound(h, DiagnosisContext{});
    EXPECT_THAT(text, HasSubstr("(iptables, table filter, chain INPUT: policy drop)"));
    EXPECT_THAT(text, HasSubstr("Next: sudo iptables -I INPUT -p udp --dport 13576 -j ACCEPT\n"));
    EXPECT_THAT(text, Not(HasSubstr("nft ")));
    EXPECT_THAT(text, HasSubstr("iptables-persistent"));

    h.firewall.ruleset = rulesetFromIptablesSave(rulesetFile("iptables-legacy-drop.txt"), Chain::IPTABLES_LEGACY);
    h.firewall.netfilterPersistent = true;
    text = explainNothingFound(h, DiagnosisContext{});
    EXPECT_THAT(text, HasSubstr("Next: sudo iptables-legacy -I INPUT -p udp --dport 13576 -j ACCEPT\n"));
    // netfilter-persistent saves with "iptables", which is iptables-nft here:
    // legacy rules are saved and loaded with legacy's own tools.
    EXPECT_THAT(text,
                HasSubstr("Keep: sudo mkdir -p /etc/iptables && sudo sh -c 'iptables-legacy-save > "
                          "/etc/iptables/rules.v4'\n           and load it at boot with iptables-legacy-restore < "
                          "/etc/iptables/rules.v4: netfilter-persistent restores that file with iptables, which "
                          "reaches iptables-nft's tables here\n"));
    h.firewall.iptablesLegacy = "iptables";
    h.firewall.iptablesNft = "iptables-nft";
    EXPECT_THAT(explainNothingFound(h, DiagnosisContext{}), HasSubstr("Keep: sudo netfilter-persistent save\n"))
        << "where iptables is legacy, netfilter-persistent saves these";

    h.firewall.ruleset = rulesetFromIptablesSave(rulesetFile("ufw-enabled.txt"), Chain::IPTABLES_NFT);
    h.firewall.ufwEnabled = true;
    text = explainNothingFound(h, DiagnosisContext{});
    EXPECT_THAT(text, HasSubstr("Next: sudo ufw allow from 192.168.1.0/24 to any port 13576 proto udp\n"))
        << "ufw keeps its own rules: no iptables command";
}

TEST(NothingFound, WindowsNamesItsFirewallAndTheNetworkProfile) {
    HostFacts h = plainHost();
    h.windows.windows = true;
    std::string text = explainNothingFound(h, DiagnosisContext{});
    EXPECT_THAT(text, HasSubstr("Windows Defender Firewall may drop the answers (webfind cannot read its state)"));
    EXPECT_THAT(
        text,
        HasSubstr("netsh advfirewall firewall add rule name=webfind dir=in action=allow protocol=UDP localport=13576"));
    h.windows.profile = "Public";
    h.windows.firewallOn = 1;
    text = explainNothingFound(h, DiagnosisContext{});
    EXPECT_THAT(
        text, HasSubstr("Windows Defender Firewall is on for Public networks, and the probe left on a Public network"));
    EXPECT_THAT(text, HasSubstr("make it Private"));
    h.windows.firewallOn = 0;
    EXPECT_THAT(explainNothingFound(h, DiagnosisContext{}), Not(HasSubstr("Windows Defender")));
}

TEST(NothingFound, AChosenPortIsTheOneToAdmit) {
    HostFacts ufw = plainHost();
    ufw.firewall.read = false;
    ufw.firewall.ufwEnabled = true;
    DiagnosisContext context;
    context.port = 40000;
    std::string text = explainNothingFound(ufw, context);
    EXPECT_THAT(text, HasSubstr("to any port 40000 proto udp"));
    EXPECT_THAT(text, Not(HasSubstr("then run webfind --port"))) << "it already ran with a port";
}

TEST(NothingFound, TheProbeThroughABridgeNamesTheInterfacesLeftOut) {
    HostFacts h = plainHost();
    h.interfaces.push_back(iface("docker0", 172, 17, 0, 1, InterfaceKind::BRIDGE));
    h.interfaces.push_back(iface("wlan0", 10, 0, 0, 7, InterfaceKind::WIRELESS));
    h.interfaces.push_back(iface("eth1", 10, 9, 0, 1, InterfaceKind::HARDWARE, false));  // down
    const uint8_t source[4] = {172, 17, 0, 1};
    std::copy(source, source + 4, h.probeSource);
    std::string text = explainNothingFound(h, DiagnosisContext{});
    EXPECT_THAT(text, HasSubstr("The probe left through docker0 (172.17.0.1), a software bridge"));
    EXPECT_THAT(text, HasSubstr("not probed: eth0 (192.168.1.5), wlan0 (10.0.0.7)."));
    EXPECT_THAT(text, HasSubstr("Next: webfind -i eth0, or webfind -a"));
    EXPECT_THAT(text, Not(HasSubstr("eth1")));

    DiagnosisContext all;
    all.allInterfaces = true;
    EXPECT_THAT(explainNothingFound(h, all), Not(HasSubstr("not probed")));
}

TEST(NothingFound, CausesComeMostLikelyFirst) {
    HostFacts h = plainHost();
    h.wsl.wsl2 = true;
    h.firewall.read = false;
    h.firewall.ufwEnabled = true;
    h.interfaces.push_back(iface("wlan0", 10, 0, 0, 7, InterfaceKind::WIRELESS));
    DiagnosisContext context;
    context.report.datagrams = 3;
    std::string text = explainNothingFound(h, context);
    size_t wsl = at(text, "1. This is WSL 2");
    size_t datagrams = at(text, "2. 3 datagrams arrived, but none was a valid answer");
    size_t firewall = at(text, "3. ufw is enabled");
    size_t route = at(text, "4. The probe left through eth0");
    EXPECT_LT(wsl, datagrams);
    EXPECT_LT(datagrams, firewall);
    EXPECT_LT(firewall, route);
    EXPECT_THAT(text, HasSubstr("webfind -v shows why"));
    EXPECT_THAT(text, HasSubstr("networkingMode=mirrored"));

    h.wsl.networkingMode = "mirrored";
    EXPECT_THAT(explainNothingFound(h, context), Not(HasSubstr("WSL")));
}

TEST(NothingFound, ABridgeIsForContainersOnlyWhenItLooksLikeOne) {
    HostFacts h = plainHost();
    h.interfaces.push_back(iface("br0", 192, 168, 7, 2, InterfaceKind::BRIDGE));
    h.neighboursKnown = true;
    h.neighbours = {{"br0", 3}, {"eth0", 1}};
    const uint8_t source[4] = {192, 168, 7, 2};
    std::copy(source, source + 4, h.probeSource);
    std::string text = explainNothingFound(h, DiagnosisContext{});
    EXPECT_THAT(text, Not(HasSubstr("containers"))) << "a bridge with a link and neighbours may carry the LAN";
    h.interfaces.back().carrier = false;
    EXPECT_THAT(explainNothingFound(h, DiagnosisContext{}),
                HasSubstr("br0 (192.168.7.2), a software bridge for containers"));
    h.interfaces.back().carrier = true;
    h.interfaces.back().name = "virbr0";
    h.neighbours = {{"virbr0", 3}};
    EXPECT_THAT(explainNothingFound(h, DiagnosisContext{}),
                HasSubstr("virbr0 (192.168.7.2), a software bridge for containers"));
    h.interfaces.back().name = "br0";
    h.neighbours = {{"eth0", 3}};
    EXPECT_THAT(explainNothingFound(h, DiagnosisContext{}),
                HasSubstr("br0 (192.168.7.2), a software bridge for containers"))
        << "no neighbour behind it";
}

TEST(SendFailure, NoRouteSuggestsAnInterface) {
    HostFacts h = plainHost();
    EXPECT_EQ(explainNoRoute(h), "") << "with a route, the failure is not the route's";
    h.multicastRoute = false;
    EXPECT_THAT(explainNoRoute(h), HasSubstr("no route for multicast"));
    EXPECT_THAT(explainNoRoute(h), HasSubstr("Next: webfind -i eth0"));
    h.interfaces.resize(1);  // loopback alone
    EXPECT_THAT(explainNoRoute(h), HasSubstr("No interface is up"));
}

TEST(FailureLine, EachStepSaysWhyInOneLine) {
    RunReport report;
    report.failedStep = SocketStep::OPEN;
    report.why = {FailureReason::OTHER, "Too many open files"};
    EXPECT_EQ(explainFailure(report, 0), "webfind: could not open a UDP socket: Too many open files\n");
    report.failedStep = SocketStep::RECEIVE;
    report.why = {};
    EXPECT_EQ(explainFailure(report, 0), "webfind: could not receive: the system gave no reason\n");
    report.failedStep = SocketStep::BIND;
    report.why = {FailureReason::ACCESS_DENIED, "Permission denied"};
    EXPECT_EQ(explainFailure(report, 80),
              "webfind: could not bind local UDP port 80: Permission denied; ports below 1024 need privileges\n");
    report.why = {FailureReason::ADDRESS_IN_USE, "Address already in use"};
    // Port 9 is nobody's here: who holds it cannot be told.
    EXPECT_THAT(explainFailure(report, 9), HasSubstr("could not bind local UDP port 9: Address already in use; "));
    report.failedStep = SocketStep::STARTUP;
    EXPECT_EQ(explainFailure(report, 0), "") << "the socket layer's own line says it";
}

// The announcer's own check: the probes it waits for, walked through the
// same rules, with the same kind of advice for its port; links that meet
// the same rule told together; nothing said where the probes pass.
TEST(ProbesBlocked, EachFirewallIsToldWithItsOwnStepsForTheDiscoveryPort) {
    HostFacts h = plainHost();
    const std::vector<LocalInterface> links = {h.interfaces[1], iface("eth1", 10, 2, 0, 1, InterfaceKind::HARDWARE)};
    EXPECT_EQ(explainProbesBlocked(h, links), "") << "an empty ruleset";
    h.firewall.ruleset = nftRuleset("nft-policy-drop");
    h.firewall.nftablesConf = true;
    std::string text = explainProbesBlocked(h, links);
    EXPECT_THAT(text, HasSubstr("the firewall drops discovery probes (UDP to 224.0.0.138 port 3576) arriving on eth0, "
                                "eth1 (nftables, table inet filter, chain input: policy drop)"));
    EXPECT_THAT(text, HasSubstr("\n     Next: sudo nft insert rule inet filter input udp dport 3576 accept\n"));
    EXPECT_THAT(text, HasSubstr("\n     Keep: add \"udp dport 3576 accept\" to /etc/nftables.conf"));
    h.firewall.ruleset = nftRuleset("nft-admits-fixed-port");
    EXPECT_THAT(explainProbesBlocked(h, links), HasSubstr("udp dport 3576 accept")) << "13576 is the finder's port";

    // firewalld's own table, firewalld not running: its Keep is firewalld's.
    h.firewall.ruleset = nftRuleset("nft-firewalld");
    h.firewall.firewalldServices = {"webfind-announce"};
    EXPECT_THAT(
        explainProbesBlocked(h, links),
        HasSubstr("Keep: table inet firewalld is firewalld's own, made anew each time firewalld starts: keep the "
                  "port with sudo firewall-cmd --permanent --add-service=webfind-announce && sudo firewall-cmd "
                  "--reload once firewalld runs"));

    HostFacts user = plainHost();
    user.firewall.read = false;
    user.firewall.unreadable = "reading it needs root";
    EXPECT_THAT(explainProbesBlocked(user, links),
                HasSubstr("the firewall could not be checked (reading it needs root)"));
    user.firewall.ufwEnabled = true;
    user.firewall.ufwProfiles = {"webfind", "webfind-announce"};
    EXPECT_THAT(explainProbesBlocked(user, {links[0]}),
                HasSubstr("Next: sudo ufw allow from 192.168.1.0/24 to any app webfind-announce"));
}
