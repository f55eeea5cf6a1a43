#include "app/inspect/Hardware.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

#include "app/base/Address.h"

namespace webfind {

namespace {

// The first six hex digits of a MAC address, lowercase: its vendor's prefix.
std::string prefixOf(const std::string& mac) {
    std::string prefix;
    for (char c : mac)
        if (std::isxdigit(static_cast<unsigned char>(c)) && prefix.size() < 6)
            prefix += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return prefix;
}

// The fields of a line of CSV, quotes undone.
std::vector<std::string> fields(const std::string& line) {
    std::vector<std::string> found(1);
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted && c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
            found.back() += '"';
            ++i;
        } else if (c == '"') {
            quoted = !quoted;
        } else if (c == ',' && !quoted) {
            found.emplace_back();
        } else if (c != '\r') {
            found.back() += c;
        }
    }
    return found;
}

}  // namespace

const char* const IEEE_REGISTRY = "/usr/share/ieee-data/oui.csv";

std::map<Address, std::string> neighboursFromArp(const std::string& table) {
    std::map<Address, std::string> found;
    std::istringstream lines(table);
    std::string line;
    std::getline(lines, line);  // the heading
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string ip, type, flags, mac;
        if (!(words >> ip >> type >> flags >> mac)) continue;
        // 0x2: a complete entry; 00:00:00:00:00:00 is none.
        if ((std::strtoul(flags.c_str(), nullptr, 16) & 0x2) == 0 || mac == "00:00:00:00:00:00") continue;
        Address address;
        if (!parseDottedQuad(ip, address)) continue;
        std::transform(mac.begin(), mac.end(), mac.begin(), [](unsigned char c) { return std::tolower(c); });
        found[address] = mac;
    }
    return found;
}

std::map<std::string, std::string> vendorsFromRegistry(std::istream& csv, const std::set<std::string>& prefixes) {
    std::map<std::string, std::string> found;
    if (prefixes.empty()) return found;
    for (std::string line; found.size() < prefixes.size() && std::getline(csv, line);) {
        // Registry,Assignment,Organization Name,Organization Address
        if (line.size() < 12 || line.compare(0, 5, "MA-L,") != 0) continue;
        std::string assignment = line.substr(5, 6);
        std::transform(assignment.begin(), assignment.end(), assignment.begin(),
                       [](unsigned char c) { return std::tolower(c); });
        if (!prefixes.count(assignment)) continue;
        const std::vector<std::string> f = fields(line);
        if (f.size() >= 3) found[assignment] = f[2];
    }
    return found;
}

void addHardware(const DeviceTable& devices, FactsTable& facts) {
    const std::map<Address, std::string> neighbours = neighbourTable();
    std::set<std::string> prefixes;
    for (const auto& entry : devices) {
        auto n = neighbours.find(entry.first);
        if (n == neighbours.end()) continue;
        facts[entry.first].mac = n->second;
        prefixes.insert(prefixOf(n->second));
    }
    std::ifstream registry(IEEE_REGISTRY);
    if (!registry || prefixes.empty()) return;
    const std::map<std::string, std::string> vendors = vendorsFromRegistry(registry, prefixes);
    for (auto& entry : facts) {
        if (entry.second.mac.empty()) continue;
        auto v = vendors.find(prefixOf(entry.second.mac));
        if (v != vendors.end()) entry.second.vendor = v->second;
    }
}

void HardwareLookup::add(const Address& address, DeviceFacts& facts) {
    facts.mac.clear();
    facts.vendor.clear();
    const std::map<Address, std::string> table = neighbours();
    auto n = table.find(address);
    if (n == table.end()) return;
    facts.mac = n->second;
    const std::string prefix = prefixOf(facts.mac);
    auto known = vendors.find(prefix);
    if (known == vendors.end()) {
        std::ifstream csv(registry);
        if (!csv) return;  // not installed (yet): nothing to remember
        const std::map<std::string, std::string> found = vendorsFromRegistry(csv, {prefix});
        known = vendors.emplace(prefix, found.empty() ? std::string() : found.begin()->second).first;
    }
    facts.vendor = known->second;
}

}  // namespace webfind
