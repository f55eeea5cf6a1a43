// MAC addresses from the neighbour table, and vendors from the IEEE
// registry.

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>

#include "app/inspect/Hardware.h"

using namespace webfind;

TEST(NeighbourTable, CompleteEntriesOnlyLowercase) {
    const std::string arp =
        "IP address       HW type     Flags       HW address            Mask     Device\n"
        "10.1.0.2         0x1         0x2         00:1B:21:0A:0B:0C     *        va1\n"
        "10.1.0.3         0x1         0x0         00:00:00:00:00:00     *        va1\n"
        "10.1.0.4         0x1         0x6         3c:2a:f4:01:02:03     *        va1\n"
        "garbage\n";
    const std::map<Address, std::string> found = neighboursFromArp(arp);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found.at(Address{{10, 1, 0, 2}}), "00:1b:21:0a:0b:0c");
    EXPECT_EQ(found.at(Address{{10, 1, 0, 4}}), "3c:2a:f4:01:02:03");
    EXPECT_EQ(found.count(Address{{10, 1, 0, 3}}), 0u) << "an incomplete entry has no address";
}

TEST(VendorRegistry, ThePrefixesAskedForQuotesUndone) {
    std::istringstream csv(
        "Registry,Assignment,Organization Name,Organization Address\n"
        "MA-L,001B21,Intel Corporate,Lot 8 Jalan Hi-Tech 2/3 Kulim Kedah MY 09000 \n"
        "MA-L,3C2AF4,\"Brother Industries, LTD.\",\"15-1, Naeshiro-cho Nagoya JP 467-8561 \"\n"
        "MA-M,001B21A,Not This One,Somewhere\n"
        "MA-L,ACDE48,Private,\n");
    const std::map<std::string, std::string> found = vendorsFromRegistry(csv, {"001b21", "3c2af4", "ffffff"});
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found.at("001b21"), "Intel Corporate");
    EXPECT_EQ(found.at("3c2af4"), "Brother Industries, LTD.");
}

// A watch meets its devices one at a time: the registry is read once a
// prefix, so a second device of the same vendor is named without it.
TEST(HardwareLookup, EachPrefixReadFromTheRegistryOnce) {
    const std::string registry = testing::TempDir() + "webfind-oui.csv";
    {
        std::ofstream csv(registry);
        csv << "Registry,Assignment,Organization Name,Organization Address\n"
               "MA-L,3C2AF4,\"Brother Industries, LTD.\",Nagoya\n";
    }
    const std::map<Address, std::string> table = {{Address{{10, 1, 0, 2}}, "3c:2a:f4:01:02:03"},
                                                  {Address{{10, 1, 0, 3}}, "3c:2a:f4:0a:0b:0c"}};
    HardwareLookup lookup([&] { return table; }, registry);

    DeviceFacts first;
    lookup.add(Address{{10, 1, 0, 2}}, first);
    EXPECT_EQ(first.mac, "3c:2a:f4:01:02:03");
    EXPECT_EQ(first.vendor, "Brother Industries, LTD.");

    std::remove(registry.c_str());
    DeviceFacts second;
    lookup.add(Address{{10, 1, 0, 3}}, second);
    EXPECT_EQ(second.vendor, "Brother Industries, LTD.") << "the prefix was looked for again";

    DeviceFacts routed;
    routed.mac = "stale";
    lookup.add(Address{{10, 2, 0, 9}}, routed);
    EXPECT_EQ(routed.mac, "") << "a device without a neighbour entry has no MAC address";
    EXPECT_EQ(routed.vendor, "");
}
