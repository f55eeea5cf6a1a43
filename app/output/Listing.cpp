#include "app/output/Listing.h"

#include "app/base/Text.h"
#include "app/output/Json.h"

namespace webfind {

void writeDeviceLine(std::ostream& out, const Device& device) {
    out << "Name:" << escapeForTerminal(device.name) << " URL:" << escapeForTerminal(device.url);
}

// Written as it goes, one device at a time: however many there are, the
// array is never held whole.
void writeJson(std::ostream& out, const DeviceTable& devices) {
    if (devices.empty()) {
        out << "[]\n" << std::flush;
        return;
    }
    const char* separator = "[\n";
    for (const auto& entry : devices) {
        out << separator << "  {\n    \"address\": \"" << entry.first.text() << "\",\n    \"name\": "
            << jsonString(entry.second.name) << ",\n    \"url\": " << jsonString(entry.second.url) << "\n  }";
        separator = ",\n";
    }
    out << "\n]\n" << std::flush;
}

}  // namespace webfind
