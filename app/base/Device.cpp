#include "app/base/Device.h"

namespace webfind {

DeviceTable::Added DeviceTable::add(const Address& address, const std::string& name, const std::string& url) {
    if (contains(address)) return Added::PRESENT;
    if (entries.size() >= capacity) return Added::FULL;
    entries.emplace(address, Device{name, url});
    return Added::ADDED;
}

}  // namespace webfind
