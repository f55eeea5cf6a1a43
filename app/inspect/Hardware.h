#pragma once

#include <cstdint>
#include <functional>
#include <istream>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/base/Device.h"

namespace webfind {

// The MAC addresses of the neighbours this host has talked to on its
// directly connected links, by IPv4 address, lowercase and colon-separated;
// read from the system's neighbour table (no packet is sent). A device
// behind a router has none.
std::map<Address, std::string> neighbourTable();

// The same, from the text of Linux's /proc/net/arp (entries that are
// complete only).
std::map<Address, std::string> neighboursFromArp(const std::string& table);

// The registry's lines are read with these bounds, whatever the file holds:
// a longer line is skipped unread, a longer vendor cut (never inside a
// UTF-8 character), and no more vendors than the bound are kept.
constexpr size_t MAX_REGISTRY_LINE = 4096;
constexpr size_t MAX_VENDOR_BYTES = 128;
constexpr size_t MAX_REGISTRY_ENTRIES = 1 << 17;

// The registrants of the MAC prefixes `prefixes` ("3c2af4"), from the IEEE
// registry's oui.csv read line by line (never held whole).
std::map<std::string, std::string> vendorsFromRegistry(std::istream& csv, const std::set<std::string>& prefixes);

// The IEEE registry's MA-L assignments, read once into a compact sorted
// table: each vendor is then found by a binary search, in microseconds.
class VendorRegistry {
public:
    explicit VendorRegistry(std::istream& csv);
    // The vendor of the MAC address or prefix `mac` ("3c:2a:f4:01:02:03");
    // empty when the registry has none.
    std::string vendorOf(const std::string& mac) const;
    size_t size() const { return entries.size(); }
    // The bytes the table holds.
    size_t bytes() const { return names.capacity() + entries.capacity() * sizeof(entries[0]); }

private:
    std::vector<std::pair<uint32_t, uint32_t>> entries;  // prefix, offset of its vendor in `names`
    std::string names;                                    // each vendor followed by a 0 byte
};

// Where Debian's ieee-data installs the registry.
extern const char* const IEEE_REGISTRY;

// True for an address on a directly connected link of this host's, where a
// device answering from it would be in the neighbour table.
using OnLink = std::function<bool(const Address& address)>;

// Fills in `mac` and `vendor` of `facts` for each device in `devices`, from
// the neighbour table and the registry (IEEE_REGISTRY), where they are there,
// and `notInNeighbours` for a device `onLink` (which may be null) places on a
// link of this host's that has no entry yet. Called again (after a check,
// whose requests fill the table), it adds what has come since.
void addHardware(const DeviceTable& devices, FactsTable& facts, const OnLink& onLink = nullptr);

// The same for devices met one at a time, as a watch meets them: the
// neighbour table is read at most twice a round, and the registry (some 3 MB) once for the whole watch, the first time a vendor is
// wanted, into a VendorRegistry: a long watch of many devices holds nothing
// more for them.
class HardwareLookup {
public:
    using Neighbours = std::function<std::map<Address, std::string>()>;
    explicit HardwareLookup(Neighbours neighbours = neighbourTable, std::string registry = IEEE_REGISTRY,
                            OnLink onLink = nullptr)
        : neighbours(std::move(neighbours)), registry(std::move(registry)), onLink(std::move(onLink)) {}

    void add(const Address& address, DeviceFacts& facts);
    // A new round: the neighbour table is read again when next needed.
    void roundEnded() { reads = 0; }
    // This host's links changed: which devices are on them.
    void linksChanged(OnLink now) { onLink = std::move(now); }

private:
    Neighbours neighbours;
    std::string registry;
    OnLink onLink;
    std::map<Address, std::string> table;
    int reads = 0;  // of the table, this round
    std::unique_ptr<VendorRegistry> vendors;  // null until the registry has been read
};

}  // namespace webfind
