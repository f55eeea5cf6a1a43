#pragma once

#include <chrono>
#include <string>

#include "app/base/Device.h"

namespace webfind {

// Something that happened to a device while watching.
struct WatchEvent {
    enum Kind { UP, DOWN, CHANGED };
    Kind kind;
    Address address;
    std::string name;
    std::string url;
    DeviceFacts facts;  // what is known of it at the time
    // The watch's round (from 1) it happened in; for DOWN, the last round the
    // device answered in.
    uint64_t round = 0;
};

// The word that starts an event's line, and its JSON "event".
const char* eventWord(WatchEvent::Kind kind);

// A watch event as one line (without its newline): "HH:MM:SS up ADDRESS
// Name:... URL:..." in local time, escaped as the listing is, or with `json`
// one JSON object {"event", "time", "address", "name", "url", "mac",
// "vendor"} for JSON Lines ("check" too, for a device that was checked).
std::string eventLine(const WatchEvent& event, bool json, std::chrono::system_clock::time_point when);

// What a page's check found, as a watch tells it once the check is done:
// "HH:MM:SS checked ADDRESS URL:..." followed by the listing's "  check:"
// line, or with `json` {"event": "checked", "time", "address", "url",
// "check"}, one line.
std::string checkedLine(const Address& address, const std::string& url, const PageCheck& check, bool json,
                        std::chrono::system_clock::time_point when);

}  // namespace webfind
