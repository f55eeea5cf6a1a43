#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "app/base/Device.h"

namespace webfind {

// One self-contained HTML5 page that lists the devices, each a row with its
// name, address and URL, in table order. It loads nothing and runs no
// script (its Content-Security-Policy forbids both). Everything from the
// network is HTML-escaped, control bytes are shown as \xHH as in the listing,
// and bytes that are not UTF-8 become U+FFFD. A URL is a link only when it
// is an http or https URL that is safe to open and valid UTF-8; others are
// shown as text.
// Written straight to `out`: a page of thousands of devices is never held
// whole in memory. It stays within `limit` bytes: rows that do not fit are
// counted in a line that sends the reader to the listing.
// Beside each device, what is known of it (`facts`, which may be null):
// its MAC address and vendor, and its page's status, title and certificate.
constexpr size_t PAGE_LIMIT = 16 << 20;

// A device a watch has seen go.
struct GoneDevice {
    Address address;
    std::string name;
    std::chrono::system_clock::time_point lastSeen;  // the end of the last round it answered in
};

// A device's last hour in a watch, drawn as a strip: the hour in equal
// stretches of rounds, oldest first, each one up in all its rounds, down in
// all, or both.
struct HourStrip {
    enum Cell : uint8_t { UNSEEN, UP, DOWN, MIXED };
    std::vector<Cell> cells;
};

// The strip as inline SVG (drawn by the page's style sheet, no script), with
// the hour in words for those who do not see the colours.
std::string stripSvg(const HourStrip& strip);

// What a watch's page shows of a device's history: its strip, drawn, and
// how long it has been up (0 for a device gone).
struct DrawnStrip {
    std::string svg;
    std::chrono::seconds upFor{0};
};

// What a watch's page says beside the devices up: how often it reloads
// itself, who has gone, and each device's last hour.
struct WatchPage {
    unsigned refreshSeconds = 0;                            // 0: the watch has ended; the page no longer reloads
    bool started = true;                                    // false: the first round is still on its way
    std::vector<GoneDevice> gone;                           // the latest first; shown as text, never as links
    const std::map<Address, DrawnStrip>* strips = nullptr;  // by device, up or gone
};

// "up 2 h 05 min", "up 12 min", "up 40 s".
std::string upForText(std::chrono::seconds upFor);

// With `watching`, the page of a watch: the devices up at `when` (the end
// of the last round), reloaded every few seconds with a refresh meta
// element (no script), and those that have gone.
void writePage(std::ostream& out, const DeviceTable& devices, const FactsTable* facts,
               std::chrono::system_clock::time_point when, size_t limit = PAGE_LIMIT,
               const WatchPage* watching = nullptr);
std::string pageHtml(const DeviceTable& devices, std::chrono::system_clock::time_point when,
                     const FactsTable* facts = nullptr, size_t limit = PAGE_LIMIT);

// The text of `bytes` for an HTML text node or a quoted attribute value.
std::string htmlEscaped(const std::string& bytes);

}  // namespace webfind
