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

}  // namespace webfind
