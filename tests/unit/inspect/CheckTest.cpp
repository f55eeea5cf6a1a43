// The rule that decides which URLs are fetched, and how a TLS failure is
// named. (The fetching itself is tested end to end, with real servers.)

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
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
    for (const char* url : {"http://192.168.1.21/", "http://169.254.169.254/latest/meta-data/", "http://both.lan/",
                            "http://metadata.lan/", "http://unknown.lan/", "http://[::1]/",
                            "http://192.168.1.20@evil.example/", "http://192.168.001.020/", "ftp://192.168.1.20/",
                            "http://192.168.1.20/a b", "http://192.168.1.20:0/", "http://192.168.1.20:99999/",
                            "http:///path"}) {
        why.clear();
        EXPECT_FALSE(planFetch(url, DEVICE, dns.resolver(), r, why)) << url;
        EXPECT_FALSE(why.empty()) << url;
    }
    EXPECT_FALSE(planFetch("http://169.254.169.254/", DEVICE, dns.resolver(), r, why));
    EXPECT_EQ(why, "host is not the answering device");
    EXPECT_FALSE(planFetch("http://metadata.lan/", DEVICE, dns.resolver(), r, why));
    EXPECT_THAT(why, HasSubstr("resolves to 169.254.169.254"));
}

TEST(FetchRule, URLsThatMayNotBeFetchedAreCheckedWithoutAConnection) {
    DeviceTable devices;
    devices.add(Address{{10, 0, 0, 1}}, "a", "http://10.0.0.9/");
    devices.add(Address{{10, 0, 0, 2}}, "b", "javascript:alert(1)");
    FactsTable facts;
    checkPages(devices, facts, CheckSettings(), [](const std::string&) { return std::vector<Address>{}; });
    const PageCheck& a = facts[Address{{10, 0, 0, 1}}].check;
    EXPECT_TRUE(a.done);
    EXPECT_FALSE(a.fetched);
    EXPECT_EQ(a.error, "host is not the answering device");
    EXPECT_EQ(a.status, -1);
    EXPECT_FALSE((facts[Address{{10, 0, 0, 2}}].check.fetched));
}

TEST(TlsVerdict, TheLibrarysWordsNamed) {
    EXPECT_EQ(tlsVerdict("SSL certificate problem: self-signed certificate"), "self-signed");
    EXPECT_EQ(tlsVerdict("SSL certificate problem: self signed certificate in certificate chain"), "self-signed");
    EXPECT_EQ(tlsVerdict("SSL certificate problem: certificate has expired"), "expired");
    EXPECT_EQ(tlsVerdict("SSL: no alternative certificate subject name matches target host name '10.0.0.5'"),
              "name-mismatch");
    EXPECT_EQ(tlsVerdict("SSL certificate problem: unable to get local issuer certificate"), "untrusted");
}
