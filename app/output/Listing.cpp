#include "app/output/Listing.h"

#include <nlohmann/json.hpp>

#include "app/base/Text.h"

namespace webfind {

void writeDeviceLine(std::ostream& out, const Device& device) {
    out << "Name:" << escapeForTerminal(device.name) << " URL:" << escapeForTerminal(device.url);
}

void writeJson(std::ostream& out, const DeviceTable& devices) {
    nlohmann::json list = nlohmann::json::array();
    for (const auto& entry : devices)
        list.push_back({{"address", entry.first.text()}, {"name", entry.second.name}, {"url", entry.second.url}});
    // Names come from the network: invalid UTF-8 becomes U+FFFD instead of
    // making the output unreadable; control characters are escaped.
    out << list.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << '\n' << std::flush;
}

}  // namespace webfind
