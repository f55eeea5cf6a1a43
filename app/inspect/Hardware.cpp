#include "app/inspect/Hardware.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

#include <sys/stat.h>

#include "app/base/Address.h"
#include "app/system/Files.h"

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
    entries.erase(std::unique(entries.begin(), entries.end(),
                              [](const std::pair<uint32_t, uint32_t>& a, const std::pair<uint32_t, uint32_t>& b) {
                                  return a.first == b.first;
                              }),
                  entries.end());
    entries.shrink_to_fit();
    names.shrink_to_fit();
}

namespace {

// The index: this header, then `count` pairs of a prefix and the offset of
// its vendor in the names (each a 4-byte number, low byte first, sorted by
// prefix), then `namesBytes` of names, each ended by a 0 byte.
const char INDEX_MAGIC[] = "webfind vendor index 1\n";
constexpr size_t MAGIC_BYTES = sizeof INDEX_MAGIC - 1;
constexpr size_t HEADER_BYTES = MAGIC_BYTES + 8 + 8 + 4 + 4;

void putNumber(std::ostream& out, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.put(static_cast<char>((value >> (8 * i)) & 0xFF));
}

bool getNumber(std::istream& in, uint64_t& value, int bytes) {
    unsigned char b[8] = {};
    if (!in.read(reinterpret_cast<char*>(b), bytes)) return false;
    value = 0;
    for (int i = bytes - 1; i >= 0; --i) value = (value << 8) | b[i];
    return true;
}

}  // namespace

void VendorRegistry::writeIndex(std::ostream& out, const std::pair<uint64_t, uint64_t>& stamp) const {
    out.write(INDEX_MAGIC, MAGIC_BYTES);
    putNumber(out, stamp.first, 8);
    putNumber(out, stamp.second, 8);
    putNumber(out, entries.size(), 4);
    putNumber(out, names.size(), 4);
    for (const auto& e : entries) {
        putNumber(out, e.first, 4);
        putNumber(out, e.second, 4);
    }
    out.write(names.data(), static_cast<std::streamsize>(names.size()));
}

std::pair<uint64_t, uint64_t> fileStamp(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return {0, 0};
    return {static_cast<uint64_t>(info.st_size), static_cast<uint64_t>(info.st_mtime)};
}

bool Vendors::openIndex() {
    if (indexPath.empty()) return false;
    index.open(indexPath, std::ios::binary);
    char magic[MAGIC_BYTES];
    uint64_t size = 0, time = 0, entries = 0, names = 0;
    const bool read = index && index.read(magic, MAGIC_BYTES) && std::equal(magic, magic + MAGIC_BYTES, INDEX_MAGIC) &&
                      getNumber(index, size, 8) && getNumber(index, time, 8) && getNumber(index, entries, 4) &&
                      getNumber(index, names, 4);
    // An index of another registry, or cut short, is built again.
    if (!read || std::make_pair(size, time) != fileStamp(registry) || entries > MAX_REGISTRY_ENTRIES ||
        !index.seekg(0, std::ios::end) || static_cast<uint64_t>(index.tellg()) != HEADER_BYTES + entries * 8 + names) {
        index.close();
        return false;
    }
    count = static_cast<uint32_t>(entries);
    namesBytes = static_cast<uint32_t>(names);
    return true;
}

std::string Vendors::of(const std::string& mac) {
    if (!indexed && !whole) {
        indexed = openIndex();
        if (!indexed) {
            std::ifstream csv(registry);
            // Not installed (yet): looked for again next time.
            if (!csv) return "";
            const std::pair<uint64_t, uint64_t> stamp = fileStamp(registry);
            whole = std::make_unique<VendorRegistry>(csv);
            // For the next run; this one has the table already.
            std::string why;
            if (!indexPath.empty() && makeFoldersFor(indexPath))
                replaceFile(
                    indexPath, [&](std::ostream& out) { whole->writeIndex(out, stamp); }, why);
        }
    }
    if (whole) return whole->vendorOf(mac);
    uint32_t number = 0;
    if (!prefixNumber(prefixOf(mac), number)) return "";
    // A binary search over the sorted prefixes, a few reads of 8 bytes.
    uint32_t low = 0, high = count;
    uint64_t prefix = 0, offset = 0;
    while (low < high) {
        const uint32_t middle = low + (high - low) / 2;
        index.clear();
        if (!index.seekg(static_cast<std::streamoff>(HEADER_BYTES + middle * uint64_t{8})) ||
            !getNumber(index, prefix, 4) || !getNumber(index, offset, 4))
            return "";
        if (prefix == number) break;
        if (prefix < number)
            low = middle + 1;
        else
            high = middle;
    }
    if (low >= high || offset >= namesBytes) return "";
    index.clear();
    index.seekg(static_cast<std::streamoff>(HEADER_BYTES + count * uint64_t{8} + offset));
    std::string vendor(std::min<uint64_t>(MAX_VENDOR_BYTES + 1, namesBytes - offset), '\0');
    index.read(&vendor[0], static_cast<std::streamsize>(vendor.size()));
    vendor.resize(std::min<size_t>(static_cast<size_t>(index.gcount()), vendor.find('\0')));
    return vendor.size() > MAX_VENDOR_BYTES ? "" : vendor;
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
    if (prefixes.empty()) return;
    Vendors vendors(IEEE_REGISTRY, vendorIndexPath());
    for (auto& entry : facts)
        if (!entry.second.mac.empty()) entry.second.vendor = vendors.of(entry.second.mac);
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
    facts.vendor = vendors.of(facts.mac);
}

}  // namespace webfind
