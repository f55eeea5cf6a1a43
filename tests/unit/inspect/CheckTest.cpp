// The rule that decides which URLs are fetched, and how a TLS failure is
// named. (The fetching itself is tested end to end, with real servers.)

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/inspect/Check.h"

using namespace webfind;

using testing::HasSubstr;

namespace {

const Address DEVICE{{192, 168, 1, 20}};

// Names as a resolver would give them, and what was asked.
struct FakeResolver {
    std::map<std::string, std::vector<Address>> names;
    std::vector<std::string> asked;
    Resolver resolver() {
        return [this](const std::string& host) {
            asked.push_back(host);
            auto found = names.find(host);
            return found == names.end() ? std::vector<Address>{} : found->second;
        };
    }
};

}  // namespace

TEST(FetchRule, TheDevicesOwnAddressIsFetchedWithItsPortAndScheme) {
    FakeResolver dns;
    FetchRequest r;
    std::string why;
    ASSERT_TRUE(planFetch("https://192.168.1.20:8443/a?b#c", DEVICE, dns.resolver(), r, why)) << why;
    EXPECT_TRUE(r.https);
    EXPECT_EQ(r.port, 8443);
    EXPECT_EQ(r.host, "192.168.1.20");
    EXPECT_EQ(r.address, DEVICE);
    ASSERT_TRUE(planFetch("http://192.168.1.20", DEVICE, dns.resolver(), r, why)) << why;
    EXPECT_EQ(r.port, 80);
    EXPECT_TRUE(dns.asked.empty()) << "an address is not looked up";
}

TEST(FetchRule, AnyOtherHostIsNotFetched) {
    FakeResolver dns;
    dns.names["printer.lan"] = {DEVICE};
    dns.names["both.lan"] = {DEVICE, Address{{192, 168, 1, 21}}};
    dns.names["metadata.lan"] = {Address{{169, 254, 169, 254}}};
    FetchRequest r;
    std::string why;
    EXPECT_TRUE(planFetch("http://Printer.lan/", DEVICE, dns.resolver(), r, why)) << why;
    EXPECT_EQ(r.address, DEVICE) << "connected to the address it resolved to";
    for (const char* url :
         {"http://192.168.1.21/", "http://169.254.169.254/latest/meta-data/", "http://both.lan/",
          "http://metadata.lan/", "http://unknown.lan/", "http://[::1]/", "http://192.168.1.20@evil.example/",
          "http://192.168.001.020/", "ftp://192.168.1.20/", "http://192.168.1.20/a b", "http://192.168.1.20:0/",
          "http://192.168.1.20:99999/", "http:///path"}) {
        why.clear();
        EXPECT_FALSE(planFetch(url, DEVICE, dns.resolver(), r, why)) << url;
        EXPECT_FALSE(why.empty()) << url;
    }
    EXPECT_FALSE(planFetch("http://169.254.169.254/", DEVICE, dns.resolver(), r, why));
    EXPECT_EQ(why, "host is not the answering device");
    EXPECT_FALSE(planFetch("http://metadata.lan/", DEVICE, dns.resolver(), r, why));
    EXPECT_THAT(why, HasSubstr("resolves to 169.254.169.254"));
}

// A URL parser decodes %41 and turns names beyond ASCII into others: a host
// that could be read two ways is never fetched, whatever it resolves to.
TEST(FetchRule, AHostThatCouldBeReadTwoWaysIsNotFetched) {
    FakeResolver dns;
    dns.names["x%41.test"] = {DEVICE};
    dns.names["xa.test"] = {Address{{127, 9, 0, 9}}};
    FetchRequest r;
    std::string why;
    for (const char* url : {"http://x%41.test/", "http://127%2e9%2e0%2e9/", "http://192.168.1.20%00/",
                            "http://caf\xC3\xA9.lan/", "http://printer.lan:+80/"}) {
        why.clear();
        EXPECT_FALSE(planFetch(url, DEVICE, dns.resolver(), r, why)) << url;
        EXPECT_FALSE(why.empty()) << url;
    }
    EXPECT_TRUE(dns.asked.empty()) << "such a host is not even looked up";
    EXPECT_TRUE(readFetchUrl("http://nas_1.home-lan.:5000/x", r, why)) << why;
    EXPECT_EQ(r.host, "nas_1.home-lan.");
    EXPECT_EQ(r.port, 5000);
}

TEST(PageCheck, URLsThatMayNotBeFetchedAreCheckedWithoutAConnection) {
    DeviceTable devices;
    devices.add(Address{{10, 0, 0, 1}}, "a", "http://10.0.0.9/");
    devices.add(Address{{10, 0, 0, 2}}, "b", "javascript:alert(1)");
    devices.add(Address{{10, 0, 0, 3}}, "c", "http://elsewhere.lan/");
    FactsTable facts;
    checkPages(devices, facts, CheckSettings(), [](const std::string&) { return std::vector<Address>{}; });
    const PageCheck& a = facts[Address{{10, 0, 0, 1}}].check;
    EXPECT_EQ(a.outcome, PageCheck::NOT_ALLOWED);
    EXPECT_FALSE(a.answered());
    EXPECT_EQ(a.error, "host is not the answering device");
    EXPECT_EQ(a.status, -1);
    EXPECT_EQ((facts[Address{{10, 0, 0, 2}}].check.outcome), PageCheck::NOT_ALLOWED);
    EXPECT_THAT((facts[Address{{10, 0, 0, 3}}].check.error), HasSubstr("does not resolve"));
}

// A resolver that never answers holds up neither the check nor the names
// that do resolve; what it kept is "not checked", with the reason.
TEST(PageCheck, AResolverThatNeverAnswersCostsOnlyItsOwnTime) {
    struct Gate {
        std::mutex lock;
        std::condition_variable opened;
        bool open = false;
    };
    auto gate = std::make_shared<Gate>();
    Resolver stuck = [gate](const std::string& host) {
        if (host == "quick.lan") return std::vector<Address>{Address{{127, 0, 0, 1}}};
        std::unique_lock<std::mutex> held(gate->lock);
        gate->opened.wait(held, [&] { return gate->open; });
        return std::vector<Address>{};
    };
    DeviceTable devices;
    devices.add(Address{{10, 0, 0, 1}}, "stuck", "http://stuck.lan/");
    // Fetched from this host's own loopback, where nothing listens at port 1.
    devices.add(Address{{127, 0, 0, 1}}, "quick", "http://quick.lan:1/");
    CheckSettings settings;
    settings.lookup = std::chrono::milliseconds(1000);  // time enough for a name that resolves at once
    settings.connect = settings.total = std::chrono::milliseconds(500);
    FactsTable facts;
    checkPages(devices, facts, settings, stuck);
    const PageCheck& slow = facts[Address{{10, 0, 0, 1}}].check;
    EXPECT_EQ(slow.outcome, PageCheck::NOT_CHECKED);
    EXPECT_EQ(slow.error, "its host name did not resolve in time");
    EXPECT_NE((facts[Address{{127, 0, 0, 1}}].check.outcome), PageCheck::NOT_CHECKED)
        << "the name that resolved was checked";
    {
        std::lock_guard<std::mutex> held(gate->lock);
        gate->open = true;
    }
    gate->opened.notify_all();
}

TEST(PageCheck, AStopLeavesEveryPageNotCheckedWithTheReason) {
    DeviceTable devices;
    devices.add(Address{{10, 0, 0, 1}}, "a", "http://10.0.0.1/");
    devices.add(Address{{10, 0, 0, 2}}, "b", "http://b.lan/");
    CheckSettings settings;
    settings.stopRequested = [] { return true; };
    FactsTable facts;
    std::vector<std::string> asked;
    checkPages(devices, facts, settings, [&](const std::string& host) {
        asked.push_back(host);
        return std::vector<Address>{Address{{10, 0, 0, 2}}};
    });
    for (const auto& f : facts) {
        EXPECT_EQ(f.second.check.outcome, PageCheck::NOT_CHECKED) << f.first.text();
        EXPECT_EQ(f.second.check.error, CHECK_STOPPED) << f.first.text();
    }
    EXPECT_EQ(facts.size(), 2u);
}

TEST(TlsVerdict, TheLibrarysWordsNamed) {
    EXPECT_EQ(tlsVerdict("SSL certificate problem: self-signed certificate"), "self-signed");
    EXPECT_EQ(tlsVerdict("SSL certificate problem: self signed certificate in certificate chain"), "self-signed");
    EXPECT_EQ(tlsVerdict("SSL certificate problem: certificate has expired"), "expired");
    EXPECT_EQ(tlsVerdict("SSL: no alternative certificate subject name matches target host name '10.0.0.5'"),
              "name-mismatch");
    EXPECT_EQ(tlsVerdict("SSL certificate problem: unable to get local issuer certificate"), "untrusted");
}
