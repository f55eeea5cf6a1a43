#pragma once

#include <functional>
#include <istream>
#include <map>
#include <set>
#include <string>

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

// The registrants of the MAC prefixes `prefixes` ("3c2af4"), from the IEEE
// registry's oui.csv read line by line (never held whole).
std::map<std::string, std::string> vendorsFromRegistry(std::istream& csv, const std::set<std::string>& prefixes);

// Where Debian's ieee-data installs the registry.
extern const char* const IEEE_REGISTRY;

// Fills in `mac` and `vendor` of `facts` for each device in `devices`, from
// the neighbour table and the registry (IEEE_REGISTRY), where they are there.
void addHardware(const DeviceTable& devices, FactsTable& facts);

// The same for devices met one at a time, as a watch meets them: the
// neighbour table is read for each, but each vendor prefix is looked for in
// the registry (some 3 MB, read line by line) once for the whole watch,
// found or not, so that a round of many devices does not read it for each.
class HardwareLookup {
public:
    using Neighbours = std::function<std::map<Address, std::string>()>;
    explicit HardwareLookup(Neighbours neighbours = neighbourTable, std::string registry = IEEE_REGISTRY)
        : neighbours(std::move(neighbours)), registry(std::move(registry)) {}

    void add(const Address& address, DeviceFacts& facts);

private:
    Neighbours neighbours;
    std::string registry;
    std::map<std::string, std::string> vendors;  // by prefix; empty where the registry has none
};

}  // namespace webfind
