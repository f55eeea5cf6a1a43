#include "app/desktop/Present.h"

#include <chrono>

#include "app/base/Text.h"
#include "app/desktop/Opener.h"
#include "app/output/Listing.h"
#include "app/output/Page.h"

namespace webfind {

namespace {

// Opens one page that links every device instead of their URLs one by one;
// when no page can be written, says so, and nothing is opened.
void openPage(const DeviceTable& devices, std::ostream& err, const Desktop& desktop) {
    SavedPage page;
    std::string note, why;
    const auto now = std::chrono::system_clock::now();
    if (!desktop.savePage([&](std::ostream& out) { writePage(out, devices, now); }, page, note, why)) {
        err << "webfind: could not write the page of devices (" << why
            << "); nothing is opened, and the listing holds every device\n"
            << std::flush;
        return;
    }
    if (!note.empty()) err << "webfind: " << note << '\n';
    if (desktop.open(page.location, why))
        err << "webfind: opened one page listing " << devices.size() << (devices.size() == 1 ? " device: " : " devices: ")
            << escapeForTerminal(page.location) << '\n';
    else
        err << "webfind: could not open the page " << escapeForTerminal(page.location) << ": " << why << '\n';
    err << std::flush;
}

}  // namespace

Desktop systemDesktop() { return Desktop{desktopAvailable, openUrl, savePage, settleOpeners}; }

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
        if (pageWanted || openable > MAX_OPENED_URLS) {
            openPage(devices, err, *desktop);
            desktop->settle(err);
            desktop = nullptr;
        }
    }
    // When URLs are opened (MAX_OPENED_URLS at most: more make a page), each
    // line is flushed right after its URL went to the desktop. A plain
    // listing is written in one go: thousands of devices would otherwise cost
    // a system call each.
    const bool flushEachLine = desktop != nullptr;
    for (const auto& entry : devices) {
        const std::string& url = entry.second.url;
        if (desktop) {
            if (!safeToOpen(url)) {
                err << "webfind: not opening the URL of " << entry.first.text()
                    << ": it holds characters a URL never holds unescaped\n"
                    << std::flush;
            } else if (!desktop->open(url, why)) {
                // The device is listed whether or not the desktop took its URL.
                err << "webfind: could not open " << escapeForTerminal(url) << ": " << why << '\n' << std::flush;
            }
        }
        writeDeviceLine(out, entry.second);
        out << '\n';
        if (flushEachLine) out << std::flush;
    }
    out << std::flush;
    if (desktop) desktop->settle(err);
}

}  // namespace webfind
