// MAC addresses from the neighbour table, and vendors from the IEEE
// registry.

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>

#include "TempPath.h"
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

TEST(VendorRegistry, QuotesUndoneAndOnlyLargeAssignments) {
    std::istringstream csv(
        "Registry,Assignment,Organization Name,Organization Address\n"
        "MA-L,001B21,Intel Corporate,Lot 8 Jalan Hi-Tech 2/3 Kulim Kedah MY 09000 \n"
        "MA-L,3C2AF4,\"Brother Industries, LTD.\",\"15-1, Naeshiro-cho Nagoya JP 467-8561 \"\n"
        "MA-M,ACDE48A,Not This One,Somewhere\n");
    const VendorRegistry registry(csv);
    EXPECT_EQ(registry.size(), 2u);
    EXPECT_EQ(registry.vendorOf("00:1b:21:00:00:01"), "Intel Corporate");
    EXPECT_EQ(registry.vendorOf("3c:2a:f4:00:00:01"), "Brother Industries, LTD.");
    EXPECT_EQ(registry.vendorOf("ac:de:48:a0:00:01"), "");
}

// The registry is a file of the system's: its lines are read with bounds,
// whatever it holds.
TEST(VendorRegistry, ReadOnceIntoATableWithBoundsOnLinesAndVendors) {
    const std::string longVendor(300, 'V');
    std::string cutInUtf8(MAX_VENDOR_BYTES - 1, 'W');
    cutInUtf8 += "\xC3\xA9tail";  // a two-byte character across the bound
    std::istringstream csv(
        "Registry,Assignment,Organization Name,Organization Address\n"
        "MA-L,FFFFFF,Last,\n"
        "MA-L,000001,\"" +
        std::string(MAX_REGISTRY_LINE, 'x') +
        "\",\n"
        "MA-L,3C2AF4,\"Brother Industries, LTD.\",Nagoya\n"
        "MA-L,3c2af4,Second listing,\n"
        "MA-L,00000A," +
        longVendor +
        ",\n"
        "MA-L,00000B," +
        cutInUtf8 +
        ",\n"
        "MA-M,001B21A,Not This One,\n"
        "MA-L,zzzzzz,Not hex,\n");
    const VendorRegistry registry(csv);
    EXPECT_EQ(registry.size(), 4u) << "a prefix listed twice is kept once";
    EXPECT_EQ(registry.vendorOf("3c:2a:f4:01:02:03"), "Brother Industries, LTD.") << "the first listing wins";
    EXPECT_EQ(registry.vendorOf("ff:ff:ff:00:00:00"), "Last");
    EXPECT_EQ(registry.vendorOf("00:00:01:00:00:00"), "") << "a line over the bound is skipped";
    EXPECT_EQ(registry.vendorOf("00:00:0a:00:00:00"), longVendor.substr(0, MAX_VENDOR_BYTES));
    EXPECT_EQ(registry.vendorOf("00:00:0b:00:00:00"), std::string(MAX_VENDOR_BYTES - 1, 'W'))
        << "cut before the character, not inside it";
    EXPECT_EQ(registry.vendorOf("00:1b:21:00:00:00"), "");
    EXPECT_EQ(registry.vendorOf("garbage"), "");
}

// A watch meets its devices one at a time: the registry is read once, so a
// second device of the same vendor is named without it.
TEST(HardwareLookup, TheRegistryIsReadOnceForTheWholeWatch) {
    const std::string registry = tempPathOfThisTest("webfind-oui.csv");
    {
        std::ofstream csv(registry);
        csv << "Registry,Assignment,Organization Name,Organization Address\n"
               "MA-L,3C2AF4,\"Brother Industries, LTD.\",Nagoya\n"
               "MA-L,00000C,\"Cisco Systems, Inc\",San Jose\n";
    }
    const std::map<Address, std::string> table = {{Address{{10, 1, 0, 2}}, "3c:2a:f4:01:02:03"},
                                                  {Address{{10, 1, 0, 3}}, "00:00:0c:0a:0b:0c"}};
    HardwareLookup lookup([&] { return table; }, registry,
                          [](const Address& a) { return a.bytes[0] == 10 && a.bytes[1] == 1; });

    DeviceFacts first;
    lookup.add(Address{{10, 1, 0, 2}}, first);
    EXPECT_EQ(first.mac, "3c:2a:f4:01:02:03");
    EXPECT_EQ(first.vendor, "Brother Industries, LTD.");

    std::remove(registry.c_str());
    DeviceFacts second;
    lookup.add(Address{{10, 1, 0, 3}}, second);
    EXPECT_EQ(second.vendor, "Cisco Systems, Inc") << "the registry was looked for again";

    DeviceFacts routed;
    routed.mac = "stale";
    lookup.add(Address{{10, 2, 0, 9}}, routed);
    EXPECT_EQ(routed.mac, "") << "a device without a neighbour entry has no MAC address";
    EXPECT_EQ(routed.vendor, "");
    EXPECT_FALSE(routed.notInNeighbours) << "behind a router, no entry is to be expected";
    DeviceFacts missing;
    lookup.add(Address{{10, 1, 0, 9}}, missing);
    EXPECT_TRUE(missing.notInNeighbours) << "on the link, but not in the table yet";
}

TEST(HardwareLookup, ARoundOfDevicesReadsTheNeighbourTableAtMostTwice) {
    int reads = 0;
    HardwareLookup lookup(
        [&] {
            ++reads;
            return std::map<Address, std::string>{};
        },
        "/nonexistent/oui.csv");
    for (uint8_t i = 1; i <= 100; ++i) {
        DeviceFacts facts;
        lookup.add(Address{{10, 0, 0, i}}, facts);
    }
    EXPECT_EQ(reads, 2) << "once, and once more for an address that was not there";
    lookup.roundEnded();
    DeviceFacts facts;
    lookup.add(Address{{10, 0, 0, 1}}, facts);
    EXPECT_EQ(reads, 4);
}

// The index answers as the registry does, from the second use on without
// the registry; a changed registry, or an index cut short or of another
// kind, is built again rather than trusted.
TEST(Vendors, AnIndexBuiltOnceThenSearchedAndRebuiltWhenStale) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows has no copy of the registry, so webfind keeps no index there";
#endif
    const std::string registry = tempPathOfThisTest("oui.csv"), index = tempPathOfThisTest("vendors.index");
    std::remove(index.c_str());
    auto writeRegistry = [&](const std::string& lines) {
        std::ofstream(registry) << "Registry,Assignment,Organization Name,Organization Address\n" << lines;
    };
    std::string many;
    for (int i = 0; i < 300; ++i) {
        char line[64];
        std::snprintf(line, sizeof line, "MA-L,%06X,Vendor %d,\n", (i * 7919) % 0x1000000, i);
        many += line;
    }
    writeRegistry(many + "MA-L,3C2AF4,\"Brother Industries, LTD.\",Nagoya\nMA-L,3C2AF4,Second,\n");
    const struct {
        const char* mac;
        const char* vendor;
    } cases[] = {{"3c:2a:f4:01:02:03", "Brother Industries, LTD."},
                 {"00:00:00:00:00:01", "Vendor 0"},
                 {"00:1e:ef:00:00:00", "Vendor 1"},
                 {"24:21:25:00:00:00", "Vendor 299"},
                 {"ff:ff:ff:00:00:00", ""},
                 {"garbage", ""}};
    for (int use = 0; use < 2; ++use) {
        Vendors vendors(registry, index);
        for (const auto& c : cases) EXPECT_EQ(vendors.of(c.mac), c.vendor) << c.mac << (use ? " from the index" : "");
        EXPECT_TRUE(std::ifstream(index).good());
    }
    writeRegistry("MA-L,3C2AF4,Renamed Vendor Ltd,\n");
    EXPECT_EQ(Vendors(registry, index).of("3c:2a:f4:00:00:00"), "Renamed Vendor Ltd") << "the registry changed";
    for (const char* damage : {"cut", "other"}) {
        std::string bytes;
        {
            std::ifstream in(index, std::ios::binary);
            bytes.assign(std::istreambuf_iterator<char>(in), {});
        }
        ASSERT_GT(bytes.size(), 3u) << "no index was written";
        if (std::string(damage) == "cut")
            bytes.resize(bytes.size() - 3);
        else
            bytes[0] = 'X';
        std::ofstream(index, std::ios::binary) << bytes;
        EXPECT_EQ(Vendors(registry, index).of("3c:2a:f4:00:00:00"), "Renamed Vendor Ltd") << damage;
    }
    EXPECT_EQ(Vendors("/nonexistent/oui.csv", index).of("3c:2a:f4:00:00:00"), "");
    std::remove(index.c_str());
    std::remove(registry.c_str());
}
