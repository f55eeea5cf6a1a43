#pragma once

#include <cstdint>
#include <fstream>
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
    // Writes the table as a vendor index (see Vendors) for the registry
    // whose stamp is `stamp`.
    void writeIndex(std::ostream& out, const std::pair<uint64_t, uint64_t>& stamp) const;
    // The bytes the table holds.
    size_t bytes() const { return names.capacity() + entries.capacity() * sizeof(entries[0]); }

private:
    std::vector<std::pair<uint32_t, uint32_t>> entries;  // prefix, offset of its vendor in `names`
    std::string names;                                   // each vendor followed by a 0 byte
};

// Where Debian's ieee-data installs the registry.
extern const char* const IEEE_REGISTRY;

// A file's size and modification time: what tells that the registry changed.
std::pair<uint64_t, uint64_t> fileStamp(const std::string& path);

// Where this user's vendor index is kept (the user's cache folder); empty
// where there is no folder of this user's for it.
std::string vendorIndexPath();

// Makes the missing folders above `file`, private to this user.
bool makeFoldersFor(const std::string& file);

// The registry's vendors, found by prefix without reading the registry:
// an index file, built from it once (a sorted table of prefixes, then the
// names, stamped with the registry's size and time) is searched in a few
// small reads. Where the index is missing or older than the registry, the
// registry is read whole once, the index written for the next time, and the
// table kept in memory meanwhile.
class Vendors {
public:
    Vendors(std::string registry, std::string index) : registry(std::move(registry)), indexPath(std::move(index)) {}
    // The vendor of the MAC address `mac`; empty when the registry has none
    // or is not installed.
    std::string of(const std::string& mac);

private:
    bool openIndex();
    std::string registry, indexPath;
    std::ifstream index;
    uint32_t count = 0, namesBytes = 0;
    bool indexed = false;
    std::unique_ptr<VendorRegistry> whole;
};

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
// neighbour table is read at most twice a round, and the vendors found by
// prefix (Vendors, through the index at `index`, where one is given): a long
// watch of many devices holds nothing more for them.
class HardwareLookup {
public:
    using Neighbours = std::function<std::map<Address, std::string>()>;
    explicit HardwareLookup(Neighbours neighbours = neighbourTable, std::string registry = IEEE_REGISTRY,
                            OnLink onLink = nullptr, std::string index = "")
        : neighbours(std::move(neighbours)),
          onLink(std::move(onLink)),
          vendors(std::move(registry), std::move(index)) {}

    void add(const Address& address, DeviceFacts& facts);
    // A new round: the neighbour table is read again when next needed.
    void roundEnded() { reads = 0; }
    // This host's links changed: which devices are on them.
    void linksChanged(OnLink now) { onLink = std::move(now); }

private:
    Neighbours neighbours;
    OnLink onLink;
    std::map<Address, std::string> table;
    int reads = 0;  // of the table, this round
    Vendors vendors;
};

}  // namespace webfind
