#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <ostream>
#include <string>

#include "app/Run.h"
#include "app/Watch.h"

namespace webfind {

// At most this many URLs are opened one by one in a run: forged answers must
// not be able to start thousands of browser tabs. With more, one page that
// links them all is opened instead. Every device is listed in every case.
constexpr size_t MAX_OPENED_URLS = 32;

// The desktop's URL opener and the page writer, behind functions so tests can
// record them.
struct Desktop {
    // False, with the reason, when there is no desktop to hand URLs to.
    std::function<bool(std::string& why)> available;
    // False, with the reason, when the handler could not be started.
    std::function<bool(const std::string& url, std::string& why)> open;
    // Writes the page; as savePage.
    std::function<bool(const std::function<void(std::ostream&)>& write, std::string& location, std::string& why)>
        savePage;
};

// Lists each device as "Name:<name> URL:<url>", in table order. With a
// desktop, each URL that is safe to hand over is opened just before its line;
// when more than MAX_OPENED_URLS would be opened, or when `pageWanted`, one
// page listing them all is opened instead (and when it cannot be written,
// the URLs one by one as before). Notes for the user go to `err`.
void listDevices(const DeviceTable& devices, std::ostream& out, std::ostream& err, const Desktop* desktop,
                 bool pageWanted = false);

// The devices as one JSON array of {"address", "name", "url"} objects.
void printJson(const DeviceTable& devices, std::ostream& out);

// A watch event as one line (without its newline): "up ADDRESS Name:... URL:..."
// escaped as the listing is, or with `json` one JSON object {"event", "time",
// "address", "name", "url"} for JSON Lines.
std::string eventLine(const WatchEvent& event, bool json, std::chrono::system_clock::time_point when);

// `when` in RFC 3339, UTC, to the millisecond: 2026-12-07T13:05:59.123Z.
std::string rfc3339(std::chrono::system_clock::time_point when);

// Bytes below 0x20 and 0x7F, and a backslash followed by x, become \xHH
// (upper-case hex); every other byte is kept. So every \x in the result is
// an escape, and the line reads back to the exact bytes.
std::string escapeForTerminal(const std::string& text);

// True when the URL holds no byte that could be misread by an opener or a
// browser's command line: none below 0x21, no 0x7F, none of "<>\^`{|}.
bool safeToOpen(const std::string& url);

}  // namespace webfind
