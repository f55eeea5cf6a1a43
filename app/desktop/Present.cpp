#include "app/desktop/Present.h"

#include <chrono>

#include "app/base/Text.h"
#include "app/output/Listing.h"
#include "app/output/Page.h"

namespace webfind {

namespace {

// Opens one page that links every device instead of their URLs one by one;
// when no page can be written, says so, and nothing is opened.
void openPage(const DeviceTable& devices, const FactsTable* facts, std::ostream& err, const Desktop& desktop) {
    SavedPage page;
    std::string note, why;
    const auto now = std::chrono::system_clock::now();
    if (!desktop.savePage([&](std::ostream& out) { writePage(out, devices, facts, now); }, page, note, why)) {
        err << "webfind: could not write the page of devices (" << why
            << "); nothing is opened, and the listing holds every device\n"
            << std::flush;
        return;
    }
    if (!note.empty()) err << "webfind: " << note << '\n';
    if (desktop.open(page.location, why))
        err << "webfind: opened one page listing " << devices.size()
            << (devices.size() == 1 ? " device: " : " devices: ") << escapeForTerminal(page.location) << '\n';
    else
        err << "webfind: could not open the page " << escapeForTerminal(page.location) << ": " << why << '\n';
    err << std::flush;
}

}  // namespace

void listDevices(const DeviceTable& devices, std::ostream& out, std::ostream& err, const Desktop* desktop,
                 bool pageWanted, const FactsTable* facts, bool details) {
    static const DeviceFacts unknown;
    auto factsOf = [&](const Address& address) -> const DeviceFacts& {
        if (!facts) return unknown;
        auto found = facts->find(address);
        return found == facts->end() ? unknown : found->second;
    };
    std::string why;
    if (desktop && !devices.empty() && !desktop->available(why)) {
        err << "webfind: " << why << "; URLs are not opened\n" << std::flush;
        desktop = nullptr;
    }
    if (desktop && !devices.empty()) {
        size_t openable = 0;
        for (const auto& entry : devices)
            openable += safeToOpen(entry.second.url) && !factsOf(entry.first).check.unreachable() ? 1 : 0;
        if (pageWanted || openable > MAX_OPENED_URLS) {
            openPage(devices, facts, err, *desktop);
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
            const PageCheck& check = factsOf(entry.first).check;
            if (!safeToOpen(url)) {
                err << "webfind: not opening the URL of " << entry.first.text()
                    << ": it holds characters a URL never holds unescaped\n"
                    << std::flush;
            } else if (check.unreachable()) {
                err << "webfind: not opening " << escapeForTerminal(url) << ": it could not be reached ("
                    << escapeForTerminal(check.error) << ")\n"
                    << std::flush;
            } else if (!desktop->open(url, why)) {
                // The device is listed whether or not the desktop took its URL.
                err << "webfind: could not open " << escapeForTerminal(url) << ": " << why << '\n' << std::flush;
            }
        }
        writeDeviceLine(out, entry.second);
        out << '\n';
        writeDeviceDetails(out, entry.first, factsOf(entry.first), details);
        if (flushEachLine) out << std::flush;
    }
    out << std::flush;
    if (desktop) desktop->settle(err);
}

}  // namespace webfind
