#pragma once

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

// Fills in `mac` and `vendor` of `facts` for each device in `devices`, from
// the neighbour table and the registry that Debian's ieee-data installs
// (/usr/share/ieee-data/oui.csv), where they are there.
void addHardware(const DeviceTable& devices, FactsTable& facts);
// The same for one device.
void addHardware(const Address& address, DeviceFacts& facts);

}  // namespace webfind
