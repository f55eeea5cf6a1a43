#include "app/output/Events.h"

#include <sstream>

#include "app/base/Text.h"
#include "app/output/Json.h"
#include "app/output/Listing.h"

namespace webfind {

const char* eventWord(WatchEvent::Kind kind) {
    switch (kind) {
    case WatchEvent::UP: return "up";
    case WatchEvent::DOWN: return "down";
    case WatchEvent::CHANGED: return "changed";
    }
    return "";
}

std::string eventLine(const WatchEvent& event, bool json, std::chrono::system_clock::time_point when) {
    const std::string address = event.address.text();
    if (!json)
        return clockTime(when) + " " + eventWord(event.kind) + " " + address +
               " Name:" + escapeForTerminal(event.name) + " URL:" + escapeForTerminal(event.url);
    // In the order a reader scans them.
    return std::string("{\"event\":\"") + eventWord(event.kind) + "\",\"time\":\"" + rfc3339(when) +
           "\",\"address\":\"" + address + "\",\"name\":" + jsonString(event.name) +
           ",\"url\":" + jsonString(event.url) + factsJson(event.facts, false) + "}";
}

std::string checkedLine(const Address& address, const std::string& url, const PageCheck& check, bool json,
                        std::chrono::system_clock::time_point when) {
    DeviceFacts facts;
    facts.check = check;
    if (!json) {
        std::ostringstream details;
        writeDeviceDetails(details, address, facts, false);
        std::string under = details.str();
        if (!under.empty() && under.back() == '\n') under.pop_back();
        return clockTime(when) + " checked " + address.text() + " URL:" + escapeForTerminal(url) + "\n" + under;
    }
    return std::string("{\"event\":\"checked\",\"time\":\"") + rfc3339(when) + "\",\"address\":\"" + address.text() +
           "\",\"url\":" + jsonString(url) + ",\"check\":" + checkJson(check) + "}";
}

}  // namespace webfind
