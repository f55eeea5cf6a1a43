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
#include "announce/Announcer.h"
#include "announce/Options.h"
#include "announce/SelfCheck.h"

using namespace webfind;
using namespace webfind::announce;
using BRIVO::Buffer;
using testing::HasSubstr;
using testing::Not;

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
    const std::vector<Link> links =
        announcerLinks({iface("eth0", 192, 168, 1, 5, 2), iface("eth1", 10, 2, 0, 1, 3)}, {});
    const Link* link = nullptr;
    EXPECT_EQ(judge(probeFrom(0xC0A80114, 2), links, {}, link), Refusal::NONE);
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(link->name, "eth0");
    EXPECT_EQ(judge(probeFrom(0xC0A80114, 2, 0xC0A80105), links, {}, link), Refusal::UNICAST)
        << "to this host's address";
    EXPECT_EQ(judge(probeFrom(0x0A020009, 2), links, {}, link), Refusal::OFF_LINK) << "another link's address on eth0";
    EXPECT_EQ(judge(probeFrom(0xCB007105, 2), links, {}, link), Refusal::OFF_LINK) << "from beyond a router";
    EXPECT_EQ(judge(probeFrom(0xC0A801FF, 2), links, {}, link), Refusal::NOT_A_SOURCE) << "the subnet's broadcast";
    EXPECT_EQ(judge(probeFrom(0xC0A80100, 2), links, {}, link), Refusal::NOT_A_SOURCE)
        << "the subnet's network address";
    for (uint16_t port : {0, 53, 1023}) {
        Datagram service = probeFrom(0xC0A80114, 2);
        service.port = port;
        EXPECT_EQ(judge(service, links, {}, link), Refusal::NOT_A_SOURCE) << "from port " << port;
    }
    BRIVO::LocalInterface pair = iface("ptp0", 10, 9, 0, 0, 4);
    pair.mask[3] = 254;  // a /31: both of its addresses are hosts'
    EXPECT_EQ(judge(probeFrom(0x0A090001, 4), announcerLinks({pair}, {}), {}, link), Refusal::NONE);
    EXPECT_EQ(judge(probeFrom(0x7F000001, 2), links, {}, link), Refusal::OFF_LINK) << "loopback";
    EXPECT_EQ(judge(probeFrom(0xE0000001, 2), links, {}, link), Refusal::OFF_LINK) << "multicast";
    EXPECT_EQ(judge(probeFrom(0xC0A80114, 9), links, {}, link), Refusal::OFF_LINK) << "an interface not announced on";
    // On loopback (-i lo), this host's own addresses and no other.
    const std::vector<Link> lo = announcerLinks({iface("lo", 127, 0, 0, 1, 1, true)}, {"lo"});
    const std::vector<uint32_t> own = {0x7F000001, 0xC0A80105};
    EXPECT_EQ(judge(probeFrom(0x7F000001, 1), lo, own, link), Refusal::NONE);
    EXPECT_EQ(judge(probeFrom(0xC0A80105, 1), lo, own, link), Refusal::NONE) << "this host's other address";
    EXPECT_EQ(judge(probeFrom(0xC0A80114, 1), lo, own, link), Refusal::OFF_LINK) << "another host's";
    Datagram answer = probeFrom(0xC0A80114, 2);
    const Buffer notAProbe{0x73, 0x46, 0x7A, 0x20, 0x03, 0, 0, 0, 0x01, 0, 0, 0};
    answer.bytes = DatagramBytes{notAProbe.data(), notAProbe.size()};
    EXPECT_EQ(judge(answer, links, {}, link), Refusal::INVALID);
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

    // URLs as webfind reads them, and placeholders by name.
    s.name = "NAS";
    const std::pair<const char*, const char*> refused[] = {
        {"http://", "the URL has no host"},
        {"http://{addr}:99999/", "the URL's port is not a port"},
        {"http://admin:secret@{addr}/", "user name"},
        {"http://[{addr}]/", "brackets in a URL hold IPv6 addresses only"},
        {"http://{address}/", "unknown placeholder {address} in the URL"},
    };
    for (const auto& [url, reason] : refused) {
        s.url = url;
        why.clear();
        EXPECT_FALSE(checkAnnouncement(s, why)) << url;
        EXPECT_THAT(why, HasSubstr(reason)) << url;
    }
}

TEST(AnnounceLinks, ChosenByTheRuleOrByNameAndFollowedAsTheyChange) {
    const BRIVO::LocalInterface lo = iface("lo", 127, 0, 0, 1, 1, true), eth0 = iface("eth0", 192, 168, 1, 5, 2),
                                wlan = iface("wlan0", 10, 0, 0, 7, 3);
    std::vector<Link> all = announcerLinks({lo, eth0, wlan}, {});
    ASSERT_EQ(all.size(), 2u) << "loopback aside";
    EXPECT_EQ(announcerLinks({lo, eth0, wlan}, {"wlan0"}).size(), 1u);
    EXPECT_EQ(announcerLinks({lo, eth0, wlan}, {"192.168.1.5"}).front().name, "eth0");
    EXPECT_EQ(announcerLinks({lo, eth0, wlan}, {"lo"}).front().name, "lo") << "named, loopback too";
    EXPECT_TRUE(announcerLinks({lo, eth0}, {"eth9"}).empty()) << "not there (yet)";

    BRIVO::LocalInterface moved = eth0;
    moved.address[3] = 9;
    const std::vector<LinkChange> changes =
        linkChanges(all, announcerLinks({lo, moved, iface("eth1", 10, 9, 0, 1, 4)}, {}));
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
    EXPECT_THAT(fake.calls, testing::Contains("setOption 7 JOIN_ON E0 00 00 8A 02 00 00 00")) << "by eth0's number";
    EXPECT_THAT(fake.calls, testing::Contains("setOption 7 JOIN_ON E0 00 00 8A 03 00 00 00"));
    EXPECT_THAT(log.str(),
                HasSubstr("announcing \"NAS\" on eth0 (192.168.1.5) as http://192.168.1.5/, eth1 (10.2.0.1) as "
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
    EXPECT_THAT(announcer.summary(),
                HasSubstr("answered 2 (75 bytes); refused 1: 1 sent to this host's address, 0 off"));

    // eth1 goes: no longer answered there, its membership left, and said
    // as what became of it.
    fake.interfaces.pop_back();
    announcer.refresh(fake.interfaces);
    EXPECT_THAT(fake.calls, testing::Contains("setOption 7 LEAVE_ON E0 00 00 8A 03 00 00 00"));
    EXPECT_THAT(log.str(), HasSubstr("eth1 is gone: no longer answering there"));
    fake.arrivals = {probe(10, 2, 0, 9, 3)};
    ASSERT_TRUE(announcer.serve(100));
    EXPECT_EQ(fake.sent.size(), 2u);
    fake.interfaces[1].up = false;
    announcer.refresh(fake.interfaces);
    EXPECT_THAT(log.str(), HasSubstr("eth0 is down: answering there again once it is up"));
    fake.interfaces.pop_back();
    fake.addressless = {"eth0"};
    announcer.refresh(fake.interfaces);
    EXPECT_THAT(log.str(), Not(HasSubstr("eth0 is gone")));
}

// What could not be answered is counted by what happened, never as
// answered, and told with its source under -v.
TEST_F(AnnouncerRun, EachOutcomeIsCountedAsWhatItWas) {
    AnnounceSettings settings;
    settings.name = "NAS";
    settings.verbose = true;
    Announcer announcer(settings, log);
    std::string why;
    ASSERT_TRUE(announcer.open(why)) << why;
    EXPECT_THAT(fake.calls, testing::Contains("nonBlocking 7 1")) << "no send may wait";
    announcer.refresh(fake.interfaces);
    FakePlatform::Arrival stale = probe(192, 168, 1, 21, 2), empty = probe(192, 168, 1, 22, 2);
    stale.where.waitedMs = 200;
    empty.length = 0;
    fake.neighbours[0xC0A80117] = BRIVO::NeighbourState::FAILED;
    fake.arrivals = {probe(192, 168, 1, 20, 2), stale, empty, probe(192, 168, 1, 23, 2)};
    fake.sendResults = {-1};
    fake.error.kind = BRIVO::SocketError::WOULD_BLOCK;
    for (int i = 0; i < 4; ++i) ASSERT_TRUE(announcer.serve(100));
    const Counts& c = announcer.counts();
    EXPECT_EQ(c.answered, 0u);
    EXPECT_EQ(c.refused[static_cast<size_t>(Refusal::QUEUE_FULL)], 1u) << "a send that would have waited";
    EXPECT_EQ(c.refused[static_cast<size_t>(Refusal::STALE)], 1u) << "a probe that waited 200 ms in the queue";
    EXPECT_EQ(c.refused[static_cast<size_t>(Refusal::INVALID)], 1u);
    EXPECT_EQ(c.refused[static_cast<size_t>(Refusal::ABSENT)], 1u) << "nobody answered the last look-up";
    EXPECT_THAT(log.str(),
                HasSubstr("probe from 192.168.1.20:40000 on eth0: dropped: the system's send queue is full"));
    EXPECT_THAT(log.str(), HasSubstr("datagram from 192.168.1.22:40000 on eth0: refused: not a probe"));
    EXPECT_THAT(announcer.summary(), HasSubstr("answered 0 (0 bytes); refused 3: "));
    EXPECT_THAT(announcer.summary(), HasSubstr("; dropped 1: 1 send queue full, 0 send failed"));
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

// What would keep finders from this host is said when first seen and once
// more when it changes, never again in between.
TEST(AnnounceSelfCheck, EachFindingIsToldWhenSeenAndWhenItChanges) {
    std::string firewall = "the firewall drops discovery probes arriving on eth0 (policy drop)\n     Next: x\n";
    bool listens = false;
    SelfCheck check([&](const std::vector<Link>&) { return firewall; },
                    [&](uint32_t address, uint16_t port) { return listens && address == 0xC0A80105 && port == 8080; });
    const std::vector<Link> links = announcerLinks({iface("eth0", 192, 168, 1, 5, 2)}, {});
    auto url = [](const Link& l) { return filledIn("http://{addr}:8080/", "nas", l.address.number()); };
    auto texts = [&]() {
        std::string all;
        for (const SelfCheck::Line& line : check.look(links, url))
            all += line.text + (line.warning ? " [!]" : "") + "|";
        return all;
    };
    EXPECT_EQ(texts(), firewall +
                           " [!]|nothing accepts connections at http://192.168.1.5:8080/ on this host: finders "
                           "will open a page that does not load (start the web server, or announce the URL "
                           "where it listens with --url) [!]|");
    EXPECT_EQ(texts(), "") << "nothing new";
    listens = true;
    firewall.clear();
    EXPECT_EQ(texts(),
              "the firewall no longer drops discovery probes on the links announced on|something now accepts "
              "connections at http://192.168.1.5:8080/|");
    EXPECT_EQ(texts(), "");
}

// --unicast-from: a probe sent to this host's own address from an admitted
// range is answered on the link of that address; the rest as without it.
TEST(AnnounceRules, UnicastProbesAreAnsweredOnlyFromAdmittedRanges) {
    const std::vector<Link> links =
        announcerLinks({iface("eth0", 192, 168, 1, 5, 2), iface("eth1", 10, 2, 0, 1, 3)}, {});
    const std::vector<std::pair<uint32_t, uint32_t>> from = {{0x0A010000, 0xFFFFFF00}, {0x7F000000, 0xFF000000}};
    const struct {
        uint32_t source, destination;
        uint16_t port;
        Refusal verdict;
        const char* why;
    } cases[] = {
        {0x0A010009, 0xC0A80105, 40000, Refusal::NONE, "from the admitted range to eth0's address"},
        {0x0A010009, 0x0A020001, 40000, Refusal::NONE, "to eth1's address"},
        {0x0A030009, 0xC0A80105, 40000, Refusal::UNICAST, "from outside every range"},
        {0x0A010009, 0xC0A80177, 40000, Refusal::UNICAST, "to another host's address"},
        {0x0A010009, 0xC0A80105, 53, Refusal::NOT_A_SOURCE, "from a service's port"},
        {0x7F000001, 0xC0A80105, 40000, Refusal::OFF_LINK, "from loopback, even when a range names it"},
        {0x0A010009, 0xE000008A, 40000, Refusal::OFF_LINK, "to the group from beyond the link"},
    };
    for (const auto& c : cases) {
        const Link* link = nullptr;
        Datagram probe = probeFrom(c.source, 2, c.destination);
        probe.port = c.port;
        EXPECT_EQ(judge(probe, links, {}, link, from), c.verdict) << c.why;
        if (c.verdict == Refusal::NONE) {
            EXPECT_TRUE(link && link->address.number() == c.destination) << c.why;
        }
    }
}
