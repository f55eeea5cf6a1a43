#include "app/desktop/Present.h"

#include <chrono>

#include "app/base/Text.h"
#include "app/output/Listing.h"
#include "app/output/Page.h"

namespace webfind {

namespace {

// Opens one page that links every device instead of their URLs one by one.
// False when the page could not be written: the URLs are then opened as
// without a page.
bool openPage(const DeviceTable& devices, std::ostream& err, const Desktop& desktop) {
    std::string location, why;
    const auto now = std::chrono::system_clock::now();
    if (!desktop.savePage([&](std::ostream& page) { writePage(page, devices, now); }, location, why)) {
        err << "webfind: could not write the page of devices (" << why << "); opening the URLs one by one\n"
            << std::flush;
        return false;
    }
    if (desktop.open(location, why))
        err << "webfind: opened one page listing " << devices.size() << (devices.size() == 1 ? " device: " : " devices: ")
            << escapeForTerminal(location) << '\n';
    else
        err << "webfind: could not open the page " << escapeForTerminal(location) << ": " << why << '\n';
    err << std::flush;
    return true;
}

}  // namespace

void listDevices(const DeviceTable& devices, std::ostream& out, std::ostream& err, const Desktop* desktop,
                 bool pageWanted) {
    std::string why;
    if (desktop && !devices.empty() && !desktop->available(why)) {
        err << "webfind: " << why << "; URLs are not opened\n" << std::flush;
        desktop = nullptr;
    }
    if (desktop && !devices.empty()) {
        size_t openable = 0;
        for (const auto& entry : devices) openable += safeToOpen(entry.second.url) ? 1 : 0;
        if ((pageWanted || openable > MAX_OPENED_URLS) && openPage(devices, err, *desktop)) desktop = nullptr;
    }
    // When URLs are opened, each line is flushed right after its URL went to
    // the desktop. A plain listing is written in one go: thousands of devices
    // would otherwise cost a system call each.
    const bool flushEachLine = desktop != nullptr;
    size_t opened = 0, notOpened = 0;
    for (const auto& entry : devices) {
        const std::string& url = entry.second.url;
        if (desktop) {
            if (!safeToOpen(url)) {
                err << "webfind: not opening the URL of " << entry.first.text()
                    << ": it holds characters a URL never holds unescaped\n"
                    << std::flush;
            } else if (opened == MAX_OPENED_URLS) {
                ++notOpened;
            } else if (desktop->open(url, why)) {
                ++opened;
            } else {
                // The device is listed whether or not the desktop took its URL.
                err << "webfind: could not open " << escapeForTerminal(url) << ": " << why << '\n' << std::flush;
            }
        }
        writeDeviceLine(out, entry.second);
        out << '\n';
        if (flushEachLine) out << std::flush;
    }
    out << std::flush;
    if (notOpened)
        err << "webfind: " << notOpened << " more URLs were not opened (at most " << MAX_OPENED_URLS
            << " per run); --no-open or --json list them all\n"
            << std::flush;
}

}  // namespace webfind
