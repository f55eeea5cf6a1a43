#include "app/output/Events.h"

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
        return clockTime(when) + " " + eventWord(event.kind) + " " + address + " Name:" +
               escapeForTerminal(event.name) + " URL:" + escapeForTerminal(event.url);
    // In the order a reader scans them.
    return std::string("{\"event\":\"") + eventWord(event.kind) + "\",\"time\":\"" + rfc3339(when) +
           "\",\"address\":\"" + address + "\",\"name\":" + jsonString(event.name) + ",\"url\":" +
           jsonString(event.url) + factsJson(event.facts, false) + "}";
}

}  // namespace webfind
