#include "app/base/Device.h"

#include <algorithm>

namespace webfind {

namespace {

// What a map node and two strings take beside the strings' bytes: the node,
// the allocator's own bookkeeping, and the strings' heap blocks rounded up.
constexpr size_t ENTRY_OVERHEAD = 160;

}  // namespace

size_t DeviceTable::cost(const std::string& name, const std::string& url) {
    return name.size() + url.size() + ENTRY_OVERHEAD;
}

DeviceTable::Added DeviceTable::add(const Address& address, const std::string& name, const std::string& url) {
    if (contains(address)) return Added::PRESENT;
    const size_t more = cost(name, url);
    if (entries.size() >= capacity || more > byteCapacity - std::min(used, byteCapacity)) return Added::FULL;
    entries.emplace(address, Device{name, url});
    used += more;
    return Added::ADDED;
}

bool DeviceTable::change(const Address& address, const std::string& name, const std::string& url) {
    auto entry = entries.find(address);
    if (entry == entries.end()) return false;
    const size_t old = cost(entry->second.name, entry->second.url), more = cost(name, url);
    if (more > old && more - old > byteCapacity - std::min(used, byteCapacity)) return false;
    used = used - old + more;
    entry->second = Device{name, url};
    return true;
}

void DeviceTable::remove(const Address& address) {
    auto entry = entries.find(address);
    if (entry == entries.end()) return;
    used -= cost(entry->second.name, entry->second.url);
    entries.erase(entry);
}

const Device* DeviceTable::find(const Address& address) const {
    auto entry = entries.find(address);
    return entry == entries.end() ? nullptr : &entry->second;
}

}  // namespace webfind
