// Which interfaces the probes leave through: by name, by address, or all.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "FakePlatform.h"
#include "app/discovery/Interfaces.h"

using namespace webfind;

using testing::ElementsAre;
using testing::HasSubstr;

namespace {

BRIVO::LocalInterface iface(const char* name, uint8_t a, uint8_t b, uint8_t c, uint8_t d, bool up = true,
                            bool multicast = true, bool loopback = false,
                            BRIVO::InterfaceKind kind = BRIVO::InterfaceKind::HARDWARE) {
    return BRIVO::LocalInterface{name,
                                 {a, b, c, d},
                                 {255, 255, 255, 0},
                                 up,
                                 multicast,
                                 loopback,
                                 loopback ? BRIVO::InterfaceKind::LOOPBACK : kind,
                                 true};
}

class InterfaceChoice : public FakePlatformTest {
protected:
    InterfaceChoice() {
        fake.interfaces = {iface("lo", 127, 0, 0, 1, true, false, true),
                           iface("eth0", 192, 168, 1, 5),
                           iface("eth0", 192, 168, 2, 5),
                           iface("wlan0", 10, 0, 0, 7),
                           iface("down0", 10, 9, 9, 9, false),
                           iface("tun0", 10, 8, 0, 1, true, false),
                           iface("wg0", 10, 6, 0, 2, true, true, false, BRIVO::InterfaceKind::TUNNEL),
                           iface("ppp0", 10, 5, 0, 2, true, true, false, BRIVO::InterfaceKind::POINT_TO_POINT)};
    }
    std::vector<std::string> names() const {
        std::vector<std::string> n;
        for (const Link& c : chosen) n.push_back(c.name + " " + c.address.text());
        return n;
    }
    std::vector<Link> chosen;
    std::string problem;
};

}  // namespace

TEST_F(InterfaceChoice, ByNameTheFirstAddressByAddressThatOneEachOnce) {
    ASSERT_TRUE(chooseInterfaces({"eth0", "10.0.0.7", "eth0", "192.168.2.5"}, false, chosen, problem));
    EXPECT_THAT(names(), ElementsAre("eth0 192.168.1.5", "wlan0 10.0.0.7", "eth0 192.168.2.5"));
}

TEST_F(InterfaceChoice, AllIsEveryUpMulticastInterfaceButLoopbackTunnelsAndPointToPointLinks) {
    ASSERT_TRUE(chooseInterfaces({}, true, chosen, problem));
    EXPECT_THAT(names(), ElementsAre("eth0 192.168.1.5", "eth0 192.168.2.5", "wlan0 10.0.0.7"));
    ASSERT_TRUE(chooseInterfaces({"wg0"}, false, chosen, problem)) << "named, a tunnel is probed";
    EXPECT_THAT(names(), ElementsAre("wg0 10.6.0.2"));
}

TEST_F(InterfaceChoice, NoneAskedLeavesItToRoutingWithoutReadingTheList) {
    ASSERT_TRUE(chooseInterfaces({}, false, chosen, problem));
    EXPECT_TRUE(chosen.empty());
    EXPECT_TRUE(fake.calls.empty());
}

TEST_F(InterfaceChoice, TheRoutedInterfaceIsTheOneWithTheRoutesSourceAddress) {
    fake.routeSourceAddress[0] = 10, fake.routeSourceAddress[1] = 0, fake.routeSourceAddress[2] = 0,
    fake.routeSourceAddress[3] = 7;
    Link routed = routedInterface();
    EXPECT_EQ(routed.name, "wlan0");
    EXPECT_EQ(routed.address.text(), "10.0.0.7");
    fake.hasRoute = false;
    EXPECT_EQ(routedInterface().name, "");
}

TEST_F(InterfaceChoice, AnUnknownInterfaceOrNoneAtAllIsNamed) {
    EXPECT_FALSE(chooseInterfaces({"eth9"}, false, chosen, problem));
    EXPECT_THAT(problem, HasSubstr("'eth9'"));
    EXPECT_THAT(problem, HasSubstr("these do: eth0 (192.168.1.5), eth0 (192.168.2.5), wlan0 (10.0.0.7)"));
    EXPECT_THAT(problem, testing::Not(HasSubstr("lo ("))) << "loopback is no choice";
    fake.interfaces = {iface("lo", 127, 0, 0, 1, true, true, true)};
    EXPECT_FALSE(chooseInterfaces({}, true, chosen, problem));
    EXPECT_THAT(problem, HasSubstr("no interface is up"));
}

// A watch's interfaces, looked at round after round: by name they follow
// the interface's address and wait while it is down or not there.
TEST_F(InterfaceChoice, AFollowerSaysWhatCameWentAndMoved) {
    auto said = [](const std::vector<InterfaceChange>& changes) {
        const char* kinds[] = {"came", "went", "moved", "missing"};
        std::vector<std::string> lines;
        for (const InterfaceChange& c : changes) {
            std::string line = std::string(kinds[c.kind]) + " " + c.name;
            for (const Address& a : c.addresses) line += " " + a.text();
            lines.push_back(line);
        }
        return lines;
    };
    InterfaceFollower named({"wlan0", "eth1", "down0"}, false);
    EXPECT_THAT(said(named.look()), ElementsAre("missing eth1", "missing down0")) << "down is as good as not there";
    EXPECT_EQ(named.current().size(), 1u);
    fake.interfaces.push_back(iface("eth1", 10, 1, 0, 5));
    fake.interfaces[3] = iface("wlan0", 10, 0, 0, 8);
    EXPECT_THAT(said(named.look()), ElementsAre("moved wlan0 10.0.0.8", "came eth1 10.1.0.5"));
    fake.interfaces.pop_back();
    EXPECT_THAT(said(named.look()), ElementsAre("went eth1"));
    EXPECT_TRUE(said(named.look()).empty()) << "nothing changed";

    InterfaceFollower all({}, true);
    all.look();
    EXPECT_THAT(all.current().size(), 3u) << "eth0's two addresses and wlan0";
    fake.interfaces = {};
    EXPECT_THAT(said(all.look()), ElementsAre("went eth0", "went wlan0"));
    EXPECT_THAT(all.problem(), HasSubstr("no interface is up"));
    EXPECT_FALSE(InterfaceFollower({}, false).choosing()) << "the routing chooses";
}

// The one chooser, with the finder's and the announcer's differences as
// named options.
TEST_F(InterfaceChoice, OneChooserItsOptionsTellTheProgramsApart) {
    struct Case {
        LinkChoice choice;
        std::vector<std::string> chosen, missing;
    };
    const std::vector<Link> available = linksOf(fake.interfaces);
    for (const Case& c : {
             Case{{{"eth0"}, false, false, false, true}, {"eth0 192.168.1.5"}, {}},
             Case{{{"eth0"}, false, true, false, true}, {"eth0 192.168.1.5", "eth0 192.168.2.5"}, {}},
             Case{{{"192.168.2.5"}, false, true, false, true}, {"eth0 192.168.2.5"}, {}},
             Case{{{"down0", "lo"}, false, true, false, true}, {"lo 127.0.0.1"}, {"down0"}},
             Case{{{"down0"}, false, false, false, false}, {"down0 10.9.9.9"}, {}},
             Case{{{}, true, false, false, true}, {"eth0 192.168.1.5", "eth0 192.168.2.5", "wlan0 10.0.0.7"}, {}},
             Case{{{}, true, true, true, true},
                  {"eth0 192.168.1.5", "eth0 192.168.2.5", "wlan0 10.0.0.7", "wg0 10.6.0.2", "ppp0 10.5.0.2"},
                  {}},
         }) {
        std::vector<std::string> missing;
        chosen = chooseLinks(available, c.choice, &missing);
        EXPECT_EQ(names(), c.chosen) << testing::PrintToString(c.chosen);
        EXPECT_EQ(missing, c.missing);
    }
}
