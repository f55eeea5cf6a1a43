// The announcer's rules: what it answers and refuses, and why; what it
// announces, checked as webfind would take it; the interfaces it follows;
// and a whole announcer on the fake platform, from probe to answer.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "FakePlatform.h"
#include "OptionPlaces.h"
#include "announce/Announcer.h"
#include "announce/Links.h"
#include "announce/Options.h"

using namespace webfind;
using namespace webfind::announce;
using BRIVO::Buffer;
using testing::HasSubstr;

namespace {

const Buffer PROBE{0x73, 0x46, 0x7A, 0x20, 0x02, 0, 0, 0, 0x01, 0, 0, 0};

BRIVO::LocalInterface iface(const char* name, uint8_t a, uint8_t b, uint8_t c, uint8_t d, uint32_t index,
                            bool loopback = false) {
    BRIVO::LocalInterface i{};
    i.name = name;
    const uint8_t address[4] = {a, b, c, d};
    std::copy(address, address + 4, i.address);
    const uint8_t mask[4] = {255, 255, 255, 0};
    std::copy(mask, mask + 4, i.mask);
    i.up = i.multicast = true;
    i.loopback = loopback;
    i.kind = loopback ? BRIVO::InterfaceKind::LOOPBACK : BRIVO::InterfaceKind::HARDWARE;
    i.index = index;
    return i;
}

Datagram probeFrom(uint32_t source, uint32_t index, uint32_t destination = 0xE000008A) {
    Datagram d;
    d.source = source;
    d.port = 40000;
    for (int i = 0; i < 4; ++i) d.arrival.destination[i] = static_cast<uint8_t>(destination >> (24 - 8 * i));
    d.arrival.interfaceIndex = index;
    d.bytes = DatagramBytes{PROBE.data(), PROBE.size()};
    return d;
}

}  // namespace

// Each rule that keeps the announcer from being an amplifier, in turn.
TEST(AnnounceRules, OnlyProbesToTheGroupFromTheirOwnLinkAreAnswered) {
    const std::vector<Link> links = chooseLinks({iface("eth0", 192, 168, 1, 5, 2), iface("eth1", 10, 2, 0, 1, 3)}, {});
    const Link* link = nullptr;
    EXPECT_EQ(judge(probeFrom(0xC0A80114, 2), links, link), Refusal::NONE);
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(link->name, "eth0");
    EXPECT_EQ(judge(probeFrom(0xC0A80114, 2, 0xC0A80105), links, link), Refusal::UNICAST) << "to this host's address";
    EXPECT_EQ(judge(probeFrom(0x0A020009, 2), links, link), Refusal::OFF_LINK) << "another link's address on eth0";
    EXPECT_EQ(judge(probeFrom(0xCB007105, 2), links, link), Refusal::OFF_LINK) << "from beyond a router";
    EXPECT_EQ(judge(probeFrom(0xC0A801FF, 2), links, link), Refusal::OFF_LINK) << "the subnet's broadcast";
    EXPECT_EQ(judge(probeFrom(0x7F000001, 2), links, link), Refusal::OFF_LINK) << "loopback";
    EXPECT_EQ(judge(probeFrom(0xE0000001, 2), links, link), Refusal::OFF_LINK) << "multicast";
    EXPECT_EQ(judge(probeFrom(0xC0A80114, 9), links, link), Refusal::OFF_LINK) << "an interface not announced on";
    Datagram answer = probeFrom(0xC0A80114, 2);
    const Buffer notAProbe{0x73, 0x46, 0x7A, 0x20, 0x03, 0, 0, 0, 0x01, 0, 0, 0};
    answer.bytes = DatagramBytes{notAProbe.data(), notAProbe.size()};
    EXPECT_EQ(judge(answer, links, link), Refusal::INVALID);
}

TEST(AnnounceRules, WhatIsAnnouncedIsWhatWebfindAcceptsAndOpens) {
    AnnounceSettings s;
    s.host = "nas";
    std::string why;
    EXPECT_TRUE(checkAnnouncement(s, why)) << why;
    EXPECT_EQ(filledIn("{host} at http://{addr}:5000/", "nas", 0xC0A80105), "nas at http://192.168.1.5:5000/");
    for (const char* url : {"ftp://{addr}/", "http://{addr}/a b", "http://{addr}/\x1b[2J", "javascript:alert(1)",
                            "http://{addr}/\"onmouseover"}) {
        s.url = url;
        why.clear();
        EXPECT_FALSE(checkAnnouncement(s, why)) << url;
        EXPECT_FALSE(why.empty());
    }
    s.url = "https://{host}.local/";
    EXPECT_TRUE(checkAnnouncement(s, why)) << why;
    s.name = "Cam\x1b]0;pwned\x07";
    EXPECT_FALSE(checkAnnouncement(s, why));
    s.name = std::string(1470, 'N');
    EXPECT_FALSE(checkAnnouncement(s, why));
    EXPECT_THAT(why, HasSubstr("more than a datagram's 1500"));
    s.name = "\xff";
    EXPECT_FALSE(checkAnnouncement(s, why)) << "not UTF-8";
}

TEST(AnnounceLinks, ChosenByTheRuleOrByNameAndFollowedAsTheyChange) {
    const BRIVO::LocalInterface lo = iface("lo", 127, 0, 0, 1, 1, true), eth0 = iface("eth0", 192, 168, 1, 5, 2),
                                wlan = iface("wlan0", 10, 0, 0, 7, 3);
    std::vector<Link> all = chooseLinks({lo, eth0, wlan}, {});
    ASSERT_EQ(all.size(), 2u) << "loopback aside";
    EXPECT_EQ(chooseLinks({lo, eth0, wlan}, {"wlan0"}).size(), 1u);
    EXPECT_EQ(chooseLinks({lo, eth0, wlan}, {"192.168.1.5"}).front().name, "eth0");
    EXPECT_EQ(chooseLinks({lo, eth0, wlan}, {"lo"}).front().name, "lo") << "named, loopback too";
    EXPECT_TRUE(chooseLinks({lo, eth0}, {"eth9"}).empty()) << "not there (yet)";

    BRIVO::LocalInterface moved = eth0;
    moved.address[3] = 9;
    const std::vector<LinkChange> changes = linkChanges(all, chooseLinks({lo, moved, iface("eth1", 10, 9, 0, 1, 4)}, {}));
    ASSERT_EQ(changes.size(), 3u);
    EXPECT_EQ(changes[0].kind, LinkChange::CHANGED);
    EXPECT_EQ(changes[0].name, "eth0");
    EXPECT_EQ(changes[1].kind, LinkChange::CAME);
    EXPECT_EQ(changes[1].name, "eth1");
    EXPECT_EQ(changes[2].kind, LinkChange::WENT);
    EXPECT_EQ(changes[2].name, "wlan0");
}

// From the socket to the answer, on the fake platform: the group joined
// on each interface, a probe answered to its source with the address of
// the interface it came in on, a unicast probe refused, and counted.
class AnnouncerRun : public FakePlatformTest {
protected:
    void SetUp() override {
        fake.interfaces = {iface("lo", 127, 0, 0, 1, 1, true), iface("eth0", 192, 168, 1, 5, 2),
                           iface("eth1", 10, 2, 0, 1, 3)};
        fake.boundTo = addressV4(0, 0, 0, 0, 3576);
    }
    FakePlatform::Arrival probe(uint8_t a, uint8_t b, uint8_t c, uint8_t d, uint32_t index, bool toGroup = true) {
        FakePlatform::Arrival arrival{12, PROBE, addressV4(a, b, c, d, 40000)};
        arrival.where = toGroup ? BRIVO::Arrival{{224, 0, 0, 138}, index} : BRIVO::Arrival{{192, 168, 1, 5}, index};
        return arrival;
    }
    std::ostringstream log;
};

TEST_F(AnnouncerRun, AnswersEachLinkWithItsOwnAddressAndCountsWhatItRefuses) {
    AnnounceSettings settings;
    settings.name = "NAS";
    Announcer announcer(settings, log);
    std::string why;
    ASSERT_TRUE(announcer.open(why)) << why;
    announcer.refresh(fake.interfaces);
    EXPECT_THAT(fake.calls, testing::Contains("setOption 7 REUSE_ADDRESS 01 00 00 00"));
    EXPECT_THAT(fake.calls, testing::Contains("setOption 7 ADD_MEMBERSHIP E0 00 00 8A C0 A8 01 05"));
    EXPECT_THAT(fake.calls, testing::Contains("setOption 7 ADD_MEMBERSHIP E0 00 00 8A 0A 02 00 01"));
    EXPECT_THAT(log.str(), HasSubstr("announcing \"NAS\" on eth0 (192.168.1.5) as http://192.168.1.5/, eth1 (10.2.0.1) as "
                                     "http://10.2.0.1/"));

    fake.arrivals = {probe(192, 168, 1, 20, 2), probe(10, 2, 0, 9, 3), probe(192, 168, 1, 20, 2, false)};
    for (int i = 0; i < 4; ++i) ASSERT_TRUE(announcer.serve(100));
    ASSERT_EQ(fake.sent.size(), 2u);
    std::string name, url;
    ASSERT_EQ(judgeAnswer(DatagramBytes{fake.sent[0].data(), fake.sent[0].size()}, name, url), AnswerVerdict::ACCEPTED);
    EXPECT_EQ(url, "http://192.168.1.5/");
    ASSERT_EQ(judgeAnswer(DatagramBytes{fake.sent[1].data(), fake.sent[1].size()}, name, url), AnswerVerdict::ACCEPTED);
    EXPECT_EQ(url, "http://10.2.0.1/") << "each link is told the address it can reach";
    EXPECT_THAT(fake.calls, testing::Contains("sendTo 7 39 192.168.1.20 port 9C 40"));
    EXPECT_EQ(announcer.counts().answered, 2u);
    EXPECT_EQ(announcer.counts().refused[static_cast<size_t>(Refusal::UNICAST)], 1u);
    EXPECT_THAT(announcer.summary(), HasSubstr("answered 2, refused 1 (1 sent to this host's address"));

    // eth1 goes: no longer answered there, and said.
    announcer.refresh({fake.interfaces[0], fake.interfaces[1]});
    EXPECT_THAT(log.str(), HasSubstr("eth1 is gone: no longer answering there"));
    fake.arrivals = {probe(10, 2, 0, 9, 3)};
    ASSERT_TRUE(announcer.serve(100));
    EXPECT_EQ(fake.sent.size(), 2u);
}

TEST(AnnounceOptions, EveryLongOptionIsInTheHelpTheManualAndEachCompletion) {
    const std::vector<std::string> names = announce::longOptionNames();
    ASSERT_GE(names.size(), 8u);
    expectEveryOptionNamed(names, "webfind-announce", announce::HELP_TEXT);
}

TEST(AnnounceOptions, WhatIsAskedForAndWhatIsAUsageError) {
    char name[] = "webfind-announce", n[] = "--name", nas[] = "NAS", i[] = "-i", eth0[] = "eth0", i2[] = "--interface",
         wlan[] = "10.0.0.7", per[] = "--per-source", five[] = "5", shared[] = "--shared", zero[] = "0",
         extra[] = "extra";
    char* good[] = {name, n, nas, i, eth0, i2, wlan, per, five, nullptr};
    announce::Options o = announce::parseOptions(9, good);
    ASSERT_EQ(o.action, announce::Options::ANNOUNCE) << o.problem;
    EXPECT_EQ(o.settings.name, "NAS");
    EXPECT_EQ(o.settings.interfaces, (std::vector<std::string>{"eth0", "10.0.0.7"}));
    EXPECT_EQ(o.settings.limits.perSource, 5u);
    EXPECT_EQ(o.settings.limits.shared, 500u);
    char* badShared[] = {name, shared, zero, nullptr};
    EXPECT_EQ(announce::parseOptions(3, badShared).action, announce::Options::USAGE_ERROR);
    char* stray[] = {name, extra, nullptr};
    EXPECT_THAT(announce::parseOptions(2, stray).problem, HasSubstr("unexpected argument 'extra'"));
}
