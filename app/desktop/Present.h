#pragma once

#include <cstddef>
#include <ostream>
#include <string>

#include "app/base/Device.h"
#include "app/desktop/Desktop.h"

namespace webfind {

// At most this many URLs are opened one by one in a run: forged answers must
// not be able to start thousands of browser tabs. With more, one page that
// links them all is opened instead. Every device is listed in every case.
constexpr size_t MAX_OPENED_URLS = 32;

// Lists each device as "Name:<name> URL:<url>", in table order. With a
// desktop, each URL that is safe to hand over is opened just before its line;
// when more than MAX_OPENED_URLS would be opened, or when `pageWanted`, one
// page listing them all is opened instead, and when no page can be written,
// nothing is opened (never a storm of tabs). Notes for the user go to `err`.
// `facts` (which may be null) says what is known of each device: with
// `details`, the lines under each device's line say it; a URL whose check
// found it unreachable is not opened.
void listDevices(const DeviceTable& devices, std::ostream& out, std::ostream& err, const Desktop* desktop,
                 bool pageWanted = false, const FactsTable* facts = nullptr, bool details = false);

}  // namespace webfind
