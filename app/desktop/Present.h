#pragma once

#include <cstddef>
#include <functional>
#include <ostream>
#include <string>

#include "app/base/Device.h"
#include "app/desktop/PageFile.h"

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
    // Writes a new page; as savePage.
    std::function<bool(const PageWriter& write, SavedPage& page, std::string& note, std::string& why)> savePage;
    // After the last URL: as settleOpeners.
    std::function<void(std::ostream& err)> settle;
    // Writes a saved page anew; as rewritePage.
    std::function<bool(const SavedPage& page, const PageWriter& write, std::string& why)> rewritePage;
};

// The desktop of this system.
Desktop systemDesktop();

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
