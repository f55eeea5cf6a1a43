#pragma once

#include <chrono>
#include <string>

#include "app/base/Device.h"

namespace webfind {

// The word that starts an event's line, and its JSON "event".
const char* eventWord(WatchEvent::Kind kind);

// A watch event as one line (without its newline): "HH:MM:SS up ADDRESS
// Name:... URL:..." in local time, escaped as the listing is, or with `json`
// one JSON object {"event", "time", "address", "name", "url", "mac",
// "vendor"} for JSON Lines ("check" too, for a device that was checked).
std::string eventLine(const WatchEvent& event, bool json, std::chrono::system_clock::time_point when);

}  // namespace webfind
