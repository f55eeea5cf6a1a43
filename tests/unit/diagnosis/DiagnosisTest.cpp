// Why nothing was found, on made-up hosts: only causes that are there, most
// likely first, each with its next step.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "app/diagnosis/Diagnosis.h"

using namespace webfind;
using BRIVO::InterfaceKind;
using BRIVO::LocalInterface;
using testing::HasSubstr;
using testing::Not;

namespace {

LocalInterface iface(const char* name, uint8_t a, uint8_t b, uint8_t c, uint8_t d, InterfaceKind kind,
                     bool up = true) {
    return LocalInterface{name, {a, b, c, d}, {255, 255, 255, 0}, up, kind != InterfaceKind::LOOPBACK,
                          kind == InterfaceKind::LOOPBACK, kind};
}

// A laptop on a LAN, the probe routed out of its Ethernet card.
HostFacts plainHost() {
    HostFacts h;
    h.interfaces = {iface("lo", 127, 0, 0, 1, InterfaceKind::LOOPBACK), iface("eth0", 192, 168, 1, 5, InterfaceKind::HARDWARE)};
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

TEST(NothingFound, EachFirewallGetsItsOwnCommandsAndThePort) {
    HostFacts ufw = plainHost();
    ufw.firewall.ufwEnabled = true;
    std::string text = explainNothingFound(ufw, DiagnosisContext{});
    EXPECT_THAT(text, HasSubstr("ufw is enabled"));
    EXPECT_THAT(text, HasSubstr("sudo ufw allow from 192.168.1.0/24 to any app webfind"));
    EXPECT_THAT(text, HasSubstr("then run webfind --port 13576, or set WEBFIND_PORT=13576"));

    HostFacts firewalld = plainHost();
    firewalld.firewall.firewalldRunning = true;
    EXPECT_THAT(explainNothingFound(firewalld, DiagnosisContext{}),
                HasSubstr("sudo firewall-cmd --permanent --add-service=webfind && sudo firewall-cmd --reload"));

    HostFacts nft = plainHost();
    nft.firewall.drops = {{"nftables", "ip", "fw", "in_chain", "policy drop"}};
    EXPECT_THAT(explainNothingFound(nft, DiagnosisContext{}),
                HasSubstr("sudo nft insert rule ip fw in_chain udp dport 13576 accept"));

    HostFacts iptables = plainHost();
    iptables.firewall.drops = {{"iptables", "", "filter", "INPUT", "-A INPUT -j DROP"}};
    EXPECT_THAT(explainNothingFound(iptables, DiagnosisContext{}),
                HasSubstr("sudo iptables -I INPUT -p udp --dport 13576 -j ACCEPT"));

    HostFacts windows = plainHost();
    windows.windows = true;
    EXPECT_THAT(explainNothingFound(windows, DiagnosisContext{}), HasSubstr("localport=13576"));
}

TEST(NothingFound, AChosenPortIsTheOneToAdmit) {
    HostFacts ufw = plainHost();
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

TEST(SendFailure, NoRouteSuggestsAnInterface) {
    HostFacts h = plainHost();
    EXPECT_EQ(explainSendFailure(h), "") << "with a route, the failure is not the route's";
    h.multicastRoute = false;
    EXPECT_THAT(explainSendFailure(h), HasSubstr("no route for multicast"));
    EXPECT_THAT(explainSendFailure(h), HasSubstr("Next: webfind -i eth0"));
    h.interfaces.resize(1);  // loopback alone
    EXPECT_THAT(explainSendFailure(h), HasSubstr("No interface is up"));
}

