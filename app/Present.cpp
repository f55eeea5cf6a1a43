#include "app/Present.h"

#include <cstdio>
#include <cstring>
#include <ctime>

#include <nlohmann/json.hpp>

#include "app/Discovery.h"
#include "app/Page.h"

namespace webfind {

std::string escapeForTerminal(const std::string& text) {
    static const char hex[] = "0123456789ABCDEF";
    std::string safe;
    safe.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        // A backslash before an x is escaped too, so that every \x in the
        // output is one of ours: a device cannot fake an escape, and the
        // line can be read back to the exact bytes.
        bool fakeEscape = c == '\\' && i + 1 < text.size() && text[i + 1] == 'x';
        if (c < 0x20 || c == 0x7F || fakeEscape) {
            safe += "\\x";
            safe += hex[c >> 4];
            safe += hex[c & 0xF];
        } else {
            safe += static_cast<char>(c);
        }
    }
    return safe;
}

bool safeToOpen(const std::string& url) {
    for (unsigned char c : url) {
        if (c < 0x21 || c == 0x7F) return false;
        if (c < 0x80 && std::strchr("\"<>\\^`{|}", c)) return false;
    }
    return true;
}

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
        for (const auto& device : devices) openable += safeToOpen(device.second.second) ? 1 : 0;
        if ((pageWanted || openable > MAX_OPENED_URLS) && openPage(devices, err, *desktop)) desktop = nullptr;
    }
    // When URLs are opened, each line is flushed right after its URL went to
    // the desktop. A plain listing is written in one go: thousands of devices
    // would otherwise cost a system call each.
    const bool flushEachLine = desktop != nullptr;
    size_t opened = 0, notOpened = 0;
    for (const auto& device : devices) {
        const std::string& name = device.second.first;
        const std::string& url = device.second.second;
        if (desktop) {
            if (!safeToOpen(url)) {
                err << "webfind: not opening the URL of " << dottedQuad(device.first.address + 12)
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
        out << "Name:" << escapeForTerminal(name) << " URL:" << escapeForTerminal(url) << '\n';
        if (flushEachLine) out << std::flush;
    }
    out << std::flush;
    if (notOpened)
        err << "webfind: " << notOpened << " more URLs were not opened (at most " << MAX_OPENED_URLS
            << " per run); --no-open or --json list them all\n"
            << std::flush;
}

std::string rfc3339(std::chrono::system_clock::time_point when) {
    using namespace std::chrono;
    const auto sinceEpoch = duration_cast<milliseconds>(when.time_since_epoch());
    const std::time_t seconds = static_cast<std::time_t>(duration_cast<std::chrono::seconds>(sinceEpoch).count());
    const long millis = static_cast<long>(sinceEpoch.count() % 1000);
    std::tm utc = *std::gmtime(&seconds);
    char text[64];  // room for any year an int can hold
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03ldZ", utc.tm_year + 1900, utc.tm_mon + 1,
                  utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, millis);
    return text;
}

std::string eventLine(const WatchEvent& event, bool json, std::chrono::system_clock::time_point when) {
    const std::string address = dottedQuad(event.address.address + 12);
    if (!json)
        return std::string(eventWord(event.kind)) + " " + address + " Name:" + escapeForTerminal(event.name) +
               " URL:" + escapeForTerminal(event.url);
    // In the order a reader scans them, unlike json's sorted keys.
    nlohmann::ordered_json object = {{"event", eventWord(event.kind)},
                                     {"time", rfc3339(when)},
                                     {"address", address},
                                     {"name", event.name},
                                     {"url", event.url}};
    return object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

void printJson(const DeviceTable& devices, std::ostream& out) {
    nlohmann::json list = nlohmann::json::array();
    for (const auto& device : devices)
        list.push_back({{"address", dottedQuad(device.first.address + 12)},
                        {"name", device.second.first},
                        {"url", device.second.second}});
    // Names come from the network: invalid UTF-8 becomes U+FFFD instead of
    // making the output unreadable; control characters are escaped.
    out << list.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << '\n' << std::flush;
}

}  // namespace webfind
