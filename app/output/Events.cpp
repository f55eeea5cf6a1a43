#include "app/output/Events.h"

#include <nlohmann/json.hpp>

#include "app/base/Text.h"

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
    // In the order a reader scans them, unlike json's sorted keys.
    nlohmann::ordered_json object = {{"event", eventWord(event.kind)},
                                     {"time", rfc3339(when)},
                                     {"address", address},
                                     {"name", event.name},
                                     {"url", event.url}};
    return object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace webfind
