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

// The prefix as a number; false when it is not six hex digits.
bool prefixNumber(const std::string& prefix, uint32_t& number) {
    if (prefix.size() != 6) return false;
    char* end = nullptr;
    number = static_cast<uint32_t>(std::strtoul(prefix.c_str(), &end, 16));
    return *end == '\0';
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

// The next line of `in`, at most `limit` bytes of it held: a longer line is
// read past, and `line` then holds nothing. False at the end.
bool boundedLine(std::istream& in, std::string& line, size_t limit) {
    line.clear();
    bool any = false, tooLong = false;
    for (int c; (c = in.get()) != std::char_traits<char>::eof();) {
        any = true;
        if (c == '\n') break;
        if (line.size() < limit)
            line += static_cast<char>(c);
        else
            tooLong = true;
    }
    if (tooLong) line.clear();
    return any;
}

// An MA-L line's assignment, lowercase, and its vendor cut to its bound;
// false for any other line.
bool assignment(const std::string& line, std::string& prefix, std::string& vendor) {
    // Registry,Assignment,Organization Name,Organization Address
    if (line.size() < 12 || line.compare(0, 5, "MA-L,") != 0) return false;
    prefix = line.substr(5, 6);
    std::transform(prefix.begin(), prefix.end(), prefix.begin(), [](unsigned char c) { return std::tolower(c); });
    const std::vector<std::string> f = fields(line);
    if (f.size() < 3) return false;
    vendor = f[2];
    if (vendor.size() > MAX_VENDOR_BYTES) {
        size_t cut = MAX_VENDOR_BYTES;
        while (cut > 0 && (static_cast<unsigned char>(vendor[cut]) & 0xC0) == 0x80) --cut;
        vendor.resize(cut);
    }
    return true;
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
    std::string line, prefix, vendor;
    while (found.size() < prefixes.size() && boundedLine(csv, line, MAX_REGISTRY_LINE))
        if (assignment(line, prefix, vendor) && prefixes.count(prefix)) found[prefix] = vendor;
    return found;
}

VendorRegistry::VendorRegistry(std::istream& csv) {
    std::string line, prefix, vendor;
    while (entries.size() < MAX_REGISTRY_ENTRIES && boundedLine(csv, line, MAX_REGISTRY_LINE)) {
        uint32_t number = 0;
        if (!assignment(line, prefix, vendor) || !prefixNumber(prefix, number)) continue;
        entries.emplace_back(number, static_cast<uint32_t>(names.size()));
        names += vendor;
        names += '\0';
    }
    // The first line of a prefix that is listed twice wins, as in a scan.
    std::stable_sort(entries.begin(), entries.end(),
                     [](const std::pair<uint32_t, uint32_t>& a, const std::pair<uint32_t, uint32_t>& b) {
                         return a.first < b.first;
                     });
    entries.shrink_to_fit();
    names.shrink_to_fit();
}

std::string VendorRegistry::vendorOf(const std::string& mac) const {
    uint32_t number = 0;
    if (!prefixNumber(prefixOf(mac), number)) return "";
    auto found = std::lower_bound(entries.begin(), entries.end(), number,
                                  [](const std::pair<uint32_t, uint32_t>& e, uint32_t n) { return e.first < n; });
    if (found == entries.end() || found->first != number) return "";
    return std::string(names.c_str() + found->second);
}

void addHardware(const DeviceTable& devices, FactsTable& facts, const OnLink& onLink) {
    const std::map<Address, std::string> neighbours = neighbourTable();
    std::set<std::string> prefixes;
    for (const auto& entry : devices) {
        auto n = neighbours.find(entry.first);
        if (n == neighbours.end()) {
            if (onLink && onLink(entry.first)) facts[entry.first].notInNeighbours = true;
            continue;
        }
        DeviceFacts& f = facts[entry.first];
        f.mac = n->second;
        f.notInNeighbours = false;
        prefixes.insert(prefixOf(n->second));
    }
    std::ifstream registry(IEEE_REGISTRY);
    if (!registry || prefixes.empty()) return;
    // One pass over the registry for a run's few prefixes, stopping when
    // all are found: cheaper than the whole table.
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
    facts.notInNeighbours = false;
    // A round's devices come up together: one read of the table serves
    // them, and one more for an address that came after it.
    if (reads == 0) {
        table = neighbours();
        ++reads;
    }
    auto n = table.find(address);
    if (n == table.end() && reads == 1) {
        table = neighbours();
        ++reads;
        n = table.find(address);
    }
    if (n == table.end()) {
        facts.notInNeighbours = onLink && onLink(address);
        return;
    }
    facts.mac = n->second;
    if (!vendors) {
        std::ifstream csv(registry);
        // Not installed (yet): looked for again next time.
        if (!csv) return;
        vendors = std::make_unique<VendorRegistry>(csv);
    }
    facts.vendor = vendors->vendorOf(facts.mac);
}

}  // namespace webfind
