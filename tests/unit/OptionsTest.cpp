// Command-line parsing, interface choice and the JSON listing.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

#include <nlohmann/json.hpp>

#include "app/Options.h"
#include "app/Present.h"

using namespace webfind;

using testing::ElementsAre;
using testing::HasSubstr;

namespace {

Options parse(const std::vector<std::string>& args) {
    std::vector<std::string> storage{"webfind"};
    storage.insert(storage.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& s : storage) argv.push_back(&s[0]);
    argv.push_back(nullptr);
    return parseOptions(static_cast<int>(storage.size()), argv.data());
}

BRIVO::LocalInterface iface(const char* name, uint8_t a, uint8_t b, uint8_t c, uint8_t d, bool up = true,
                            bool multicast = true, bool loopback = false) {
    return BRIVO::LocalInterface{name, {a, b, c, d}, {255, 255, 255, 0}, up, multicast, loopback,
                                 loopback ? BRIVO::InterfaceKind::LOOPBACK : BRIVO::InterfaceKind::HARDWARE};
}

}  // namespace

TEST(OptionParsing, NoArgumentsIsTheDefaultRun) {
    Options o = parse({});
    EXPECT_EQ(o.action, Options::RUN);
    EXPECT_TRUE(o.open);
    EXPECT_FALSE(o.json);
    EXPECT_FALSE(o.verbose);
    EXPECT_EQ(o.quietWait, Milliseconds(200));
    EXPECT_TRUE(o.interfaces.empty());
}

TEST(OptionParsing, ShortAndLongFormsAgree) {
    Options o = parse({"-n", "-v", "-w", "350", "-i", "eth0", "--interface", "10.0.0.7"});
    EXPECT_FALSE(o.open);
    EXPECT_TRUE(o.verbose);
    EXPECT_EQ(o.quietWait, Milliseconds(350));
    EXPECT_THAT(o.interfaces, ElementsAre("eth0", "10.0.0.7"));
    Options l = parse({"--no-open", "--verbose", "--wait=350", "--all-interfaces"});
    EXPECT_FALSE(l.open);
    EXPECT_TRUE(l.verbose);
    EXPECT_EQ(l.quietWait, Milliseconds(350));
    EXPECT_TRUE(l.allInterfaces);
    EXPECT_FALSE(parse({"--json"}).open);
    EXPECT_EQ(parse({"-h"}).action, Options::HELP);
    EXPECT_EQ(parse({"--version"}).action, Options::VERSION);
}

TEST(OptionParsing, UsageErrorsNameTheProblem) {
    struct Case {
        std::vector<std::string> args;
        const char* mentions;
    };
    for (const Case& c : {Case{{"--bogus"}, "--bogus"}, Case{{"-x"}, "-x"}, Case{{"-w"}, "-w"},
                          Case{{"--wait", "0"}, "'0'"}, Case{{"--wait", "5001"}, "'5001'"},
                          Case{{"--wait", "12ms"}, "'12ms'"}, Case{{"-a", "-i", "eth0"}, "cannot be combined"},
                          Case{{"--watch=0"}, "'0'"}, Case{{"--watch=3601"}, "'3601'"},
                          Case{{"--watch", "--duration=0"}, "'0'"}, Case{{"--duration=5"}, "needs --watch"},
                          Case{{"--watch", "--first"}, "cannot be combined"},
                          Case{{"--watch", "--wait", "300"}, "--wait"}}) {
        Options o = parse(c.args);
        EXPECT_EQ(o.action, Options::USAGE_ERROR) << c.mentions;
        EXPECT_THAT(o.problem, HasSubstr(c.mentions));
        EXPECT_EQ(o.problem.find('\n'), std::string::npos);
    }
}

TEST(OptionParsing, PatternsStandAnywhereAndWatchHasItsDefaults) {
    Options o = parse({"camera", "-n", "Printer", "--first"});
    EXPECT_THAT(o.patterns, ElementsAre("camera", "Printer"));
    EXPECT_FALSE(o.open);
    EXPECT_TRUE(o.first);
    EXPECT_THAT(parse({"-n", "--", "-odd-name"}).patterns, ElementsAre("-odd-name"));

    Options w = parse({"--watch"});
    EXPECT_TRUE(w.watch);
    EXPECT_EQ(w.watchInterval, std::chrono::seconds(10));
    EXPECT_EQ(w.duration, Milliseconds(0));
    EXPECT_FALSE(w.open) << "a watch never opens a URL";
    Options timed = parse({"--watch=2", "--duration=7", "--json"});
    EXPECT_EQ(timed.watchInterval, std::chrono::seconds(2));
    EXPECT_EQ(timed.duration, std::chrono::seconds(7));
}

TEST(InterfaceChoice, ByNameByAddressAndAll) {
    std::vector<BRIVO::LocalInterface> here{iface("lo", 127, 0, 0, 1, true, false, true), iface("eth0", 192, 168, 1, 5),
                                   iface("eth0", 192, 168, 2, 5), iface("wlan0", 10, 0, 0, 7),
                                   iface("down0", 10, 9, 9, 9, false), iface("tun0", 10, 8, 0, 1, true, false)};
    std::vector<ProbeInterface> chosen;
    std::string problem;

    Options byName = parse({"-i", "eth0", "-i", "10.0.0.7", "-i", "eth0"});
    ASSERT_TRUE(chooseInterfaces(byName, here, chosen, problem));
    ASSERT_EQ(chosen.size(), 2u);
    EXPECT_EQ(chosen[0].name, "eth0");
    EXPECT_EQ(chosen[0].address[2], 1);  // first address of the named interface
    EXPECT_EQ(chosen[1].name, "wlan0");

    Options byAddress = parse({"-i", "192.168.2.5"});
    ASSERT_TRUE(chooseInterfaces(byAddress, here, chosen, problem));
    ASSERT_EQ(chosen.size(), 1u);
    EXPECT_EQ(chosen[0].address[2], 2);

    Options all = parse({"-a"});
    ASSERT_TRUE(chooseInterfaces(all, here, chosen, problem));
    std::vector<std::string> names;
    for (const auto& c : chosen) names.push_back(c.name);
    EXPECT_THAT(names, ElementsAre("eth0", "eth0", "wlan0"));

    ASSERT_TRUE(chooseInterfaces(parse({}), here, chosen, problem));
    EXPECT_TRUE(chosen.empty());
}

TEST(InterfaceChoice, UnknownInterfaceIsNamed) {
    std::vector<ProbeInterface> chosen;
    std::string problem;
    EXPECT_FALSE(chooseInterfaces(parse({"--json", "-i", "eth9"}), {iface("eth0", 1, 2, 3, 4)}, chosen, problem));
    EXPECT_THAT(problem, HasSubstr("'eth9'"));
    EXPECT_FALSE(chooseInterfaces(parse({"-a"}), {iface("lo", 127, 0, 0, 1, true, true, true)}, chosen, problem));
}

TEST(JsonListing, EmptyIsAnEmptyArray) {
    std::ostringstream out;
    printJson(DeviceTable{}, out);
    EXPECT_EQ(out.str(), "[]\n");
}

TEST(JsonListing, HostileBytesStillGiveValidJsonInAddressOrder) {
    DeviceTable devices;
    devices[BRIVO::IPAddress(192, 168, 1, 100, 0)] = {"quote\" back\\slash", "http://a/\"}"};
    devices[BRIVO::IPAddress(192, 168, 1, 20, 0)] = {std::string("ctl\x01\x1b[2J\n\0x", 11), "http://b/\x7f"};
    devices[BRIVO::IPAddress(10, 0, 0, 9, 0)] = {"bad \xff\xfe utf8 \xc3", "http://c/\xc3\xa9"};
    std::ostringstream out;
    printJson(devices, out);
    for (char c : out.str()) EXPECT_TRUE(static_cast<unsigned char>(c) >= 0x20 || c == '\n' || c == ' ');

    nlohmann::json parsed = nlohmann::json::parse(out.str());
    ASSERT_EQ(parsed.size(), 3u);
    EXPECT_EQ(parsed[0]["address"], "10.0.0.9");
    EXPECT_EQ(parsed[0]["name"], "bad \xef\xbf\xbd\xef\xbf\xbd utf8 \xef\xbf\xbd");
    EXPECT_EQ(parsed[0]["url"], "http://c/\xc3\xa9");  // valid UTF-8 round-trips
    EXPECT_EQ(parsed[1]["address"], "192.168.1.20");
    EXPECT_EQ(parsed[1]["name"], std::string("ctl\x01\x1b[2J\n\0x", 11));
    EXPECT_EQ(parsed[2]["address"], "192.168.1.100");
    EXPECT_EQ(parsed[2]["name"], "quote\" back\\slash");
    EXPECT_EQ(parsed[2]["url"], "http://a/\"}");
}
