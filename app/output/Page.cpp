#include "app/output/Page.h"

#include <sstream>

#include "app/base/Text.h"
#include "app/base/Utf8.h"
#include "app/output/Listing.h"

namespace webfind {

namespace {

// Nothing from anywhere, no script, no forms, no base: the page's own style
// sheet is all it may use.
const char* const POLICY =
    "default-src 'none'; style-src 'unsafe-inline'; img-src 'none'; base-uri 'none'; form-action 'none'";

// Light and dark through CSS alone; rows turn into cards on a narrow screen.
const char* const STYLE = R"(
:root { color-scheme: light dark; --fg: #1b1b1f; --bg: #fbfbfd; --muted: #5b5b66; --line: #d9d9e0; --link: #0a58ca; }
@media (prefers-color-scheme: dark) {
  :root { --fg: #e8e8ee; --bg: #16161a; --muted: #a0a0ad; --line: #34343c; --link: #8ab4f8; }
}
body { margin: 0 auto; max-width: 64rem; padding: 1.25rem; font: 16px/1.5 system-ui, sans-serif; color: var(--fg); background: var(--bg); }
h1 { font-size: 1.5rem; margin: 0 0 .25rem; }
h2 { font-size: 1.1rem; margin: 2rem 0 .25rem; }
p.note { color: var(--muted); margin: 0 0 1.25rem; }
table { width: 100%; border-collapse: collapse; }
th, td { text-align: left; padding: .55rem .75rem; border-bottom: 1px solid var(--line); vertical-align: top; overflow-wrap: anywhere; }
th { font-size: .8rem; text-transform: uppercase; letter-spacing: .04em; color: var(--muted); }
td.address { font-family: ui-monospace, monospace; white-space: nowrap; }
a { color: var(--link); }
span.unsafe { color: var(--muted); }
svg.strip { display: block; width: 9rem; height: .75rem; margin: .2rem 0; background: var(--line); }
svg.strip .up { fill: #2e9d4f; }
svg.strip .down { fill: #d23f3f; }
svg.strip .both { fill: #e0a020; }
span.since { color: var(--muted); font-size: .85rem; }
@media (max-width: 40rem) {
  thead { display: none; }
  tr { display: block; padding: .6rem 0; border-bottom: 1px solid var(--line); }
  td { display: block; border: 0; padding: .1rem 0; }
  td::before { content: attr(data-label) ": "; color: var(--muted); font: .85rem system-ui, sans-serif; }
}
)";

bool linkable(const std::string& url) {
    bool web = url.rfind("http://", 0) == 0 || url.rfind("https://", 0) == 0;
    return web && safeToOpen(url) && validUtf8(url);
}

// Text from the network, as the listing shows it, ready for HTML.
std::string shown(const std::string& bytes) { return htmlEscaped(withReplacementCharacters(escapeForTerminal(bytes))); }

}  // namespace

// A rectangle for each run of stretches alike: an hour up is one.
std::string stripSvg(const HourStrip& strip) {
    static const char* const classes[] = {"", "up", "down", "both"};
    const size_t n = strip.cells.size();
    if (n == 0) return "";
    size_t count[4] = {0, 0, 0, 0};
    std::string rects;
    for (size_t i = 0; i < n;) {
        size_t j = i;
        while (j < n && strip.cells[j] == strip.cells[i]) ++j;
        count[strip.cells[i]] += j - i;
        if (strip.cells[i] != HourStrip::UNSEEN)
            rects += "<rect class=\"" + std::string(classes[strip.cells[i]]) + "\" x=\"" + std::to_string(i) +
                     "\" width=\"" + std::to_string(j - i) + "\" height=\"1\"/>";
        i = j;
    }
    auto part = [n](size_t cells) { return std::to_string((cells * 100 + n / 2) / n) + "%"; };
    std::string label;
    static const char* const words[] = {"not watched", "up", "down", "both"};
    for (int c : {HourStrip::UP, HourStrip::DOWN, HourStrip::MIXED, HourStrip::UNSEEN})
        if (count[c]) label += std::string(label.empty() ? "last hour: " : ", ") + words[c] + " " + part(count[c]);
    return "<svg class=\"strip\" viewBox=\"0 0 " + std::to_string(n) +
           " 1\" preserveAspectRatio=\"none\" role=\"img\" aria-label=\"" + label + "\"><title>" + label + "</title>" +
           rects + "</svg>";
}

namespace {

// The strip of a device and how long it has been up, for its row.
std::string historyCell(const WatchPage* watching, const Address& address) {
    if (!watching || !watching->strips) return "";
    auto found = watching->strips->find(address);
    if (found == watching->strips->end()) return "";
    std::string cell = found->second.svg;
    if (found->second.upFor.count() > 0) cell += "<span class=\"since\">" + upForText(found->second.upFor) + "</span>";
    return cell;
}

}  // namespace

std::string upForText(std::chrono::seconds upFor) {
    const long long s = upFor.count();
    if (s < 60) return "up " + std::to_string(s) + " s";
    const long long minutes = s / 60 % 60, hours = s / 3600 % 24, days = s / 86400;
    const std::string mm = (minutes < 10 ? "0" : "") + std::to_string(minutes) + " min";
    if (days) return "up " + std::to_string(days) + " d " + std::to_string(hours) + " h";
    if (hours) return "up " + std::to_string(hours) + " h " + mm;
    return "up " + std::to_string(minutes) + " min";
}

std::string htmlEscaped(const std::string& bytes) {
    std::string text;
    text.reserve(bytes.size());
    for (char c : bytes) {
        switch (c) {
        case '&': text += "&amp;"; break;
        case '<': text += "&lt;"; break;
        case '>': text += "&gt;"; break;
        case '"': text += "&quot;"; break;
        case '\'': text += "&#39;"; break;
        default: text += c;
        }
    }
    return text;
}

namespace {

// What is known of a device, for its two last cells.
std::string hardwareCell(const DeviceFacts& f) {
    if (f.mac.empty()) return "";
    return "<span class=\"address\">" + htmlEscaped(f.mac) + "</span>" +
           (f.vendor.empty() ? "" : "<br>" + shown(f.vendor));
}

std::string pageCell(const PageCheck& c) {
    if (!c.done()) return "";
    if (!c.answered())
        return "<span class=\"unsafe\">" + std::string(checkResult(c.outcome)) + ": " + shown(c.error) + "</span>";
    std::string cell = std::to_string(c.status);
    if (c.hasTitle) cell += " " + shown(c.title);
    if (c.hasLocation) cell += "<br>to " + shown(c.location);
    if (!c.tls.empty()) cell += "<br>certificate: " + htmlEscaped(c.tls);
    return cell;
}

// Who has gone, as text: a device that went is no link to follow. Rows stop
// where `limit` would be passed.
void writeGone(std::ostream& out, const WatchPage& watching, size_t written, size_t limit) {
    const bool strips = watching.strips != nullptr;
    const std::string head = "<h2>Gone</h2>\n<table>\n<thead><tr><th>Name</th><th>Address</th><th>Last seen</th>" +
                             std::string(strips ? "<th>Last hour</th>" : "") + "</tr></thead>\n<tbody>\n";
    const char* const tail = "</tbody>\n</table>\n";
    written += head.size() + std::char_traits<char>::length(tail);
    if (written > limit) return;
    out << head;
    for (const GoneDevice& g : watching.gone) {
        const std::string row =
            "<tr><td data-label=\"Name\">" + shown(g.name) + "</td><td class=\"address\" data-label=\"Address\">" +
            g.address.text() + "</td><td data-label=\"Last seen\">" + htmlEscaped(localTime(g.lastSeen)) + "</td>" +
            (strips ? "<td data-label=\"Last hour\">" + historyCell(&watching, g.address) + "</td>" : "") + "</tr>\n";
        if (written + row.size() > limit) break;
        out << row;
        written += row.size();
    }
    out << tail;
}

// When the page was written, and for a watch's page, where the watch is.
std::string stateNote(const WatchPage* watching, const std::string& time) {
    if (!watching) return "webfind, " + time + ".";
    if (watching->refreshSeconds == 0) return "The watch ended at " + time + "; this page no longer changes.";
    if (!watching->started) return "webfind is watching; its first round is on its way (" + time + ").";
    return "webfind is watching: the last round ended at " + time + "; this page reloads itself every " +
           std::to_string(watching->refreshSeconds) + " s.";
}

}  // namespace

void writePage(std::ostream& out, const DeviceTable& devices, const FactsTable* facts,
               std::chrono::system_clock::time_point when, size_t limit, const WatchPage* watching) {
    const std::string count = std::to_string(devices.size()) + (devices.size() == 1 ? " device" : " devices");
    const std::string time = htmlEscaped(localTime(when));
    const bool strips = watching && watching->strips;
    std::ostringstream head;
    head << "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
         << "<meta http-equiv=\"Content-Security-Policy\" content=\"" << POLICY << "\">\n";
    if (watching && watching->refreshSeconds > 0)
        head << "<meta http-equiv=\"refresh\" content=\"" << watching->refreshSeconds << "\">\n";
    head << "<meta name=\"referrer\" content=\"no-referrer\">\n"
         << "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
         << "<meta name=\"color-scheme\" content=\"light dark\">\n"
         << "<title>webfind: " << count << (watching ? " up" : "") << ", " << time << "</title>\n"
         << "<style>" << STYLE << "</style>\n</head>\n<body>\n"
         << "<h1>" << count << (watching ? " up" : " found") << "</h1>\n"
         << "<p class=\"note\">" << stateNote(watching, time)
         << " Names and URLs come from the devices themselves, unchecked: look at the address before you type a "
            "password.</p>\n"
         << "<table>\n<thead><tr><th>Name</th><th>Address</th><th>URL</th><th>Hardware</th><th>Page</th>"
         << (strips ? "<th>Last hour</th>" : "") << "</tr></thead>\n<tbody>\n";
    const char* const tail = "</tbody>\n</table>\n</body>\n</html>\n";
    // Room for the tail and the line that counts the rows left out.
    const size_t reserve = std::char_traits<char>::length(tail) + 128;
    size_t written = head.str().size();
    out << head.str();
    size_t shownRows = 0;
    for (const auto& entry : devices) {
        const std::string& url = entry.second.url;
        std::string row = "<tr><td data-label=\"Name\">" + shown(entry.second.name) + "</td>" +
                          "<td class=\"address\" data-label=\"Address\">" + entry.first.text() + "</td>" +
                          "<td data-label=\"URL\">";
        if (linkable(url))
            row += "<a href=\"" + htmlEscaped(url) + "\" rel=\"noopener noreferrer\">" + shown(url) + "</a>";
        else
            row += "<span class=\"unsafe\">" + shown(url) + "</span>";
        static const DeviceFacts unknown;
        const DeviceFacts* f = &unknown;
        if (facts) {
            auto found = facts->find(entry.first);
            if (found != facts->end()) f = &found->second;
        }
        row += "</td><td data-label=\"Hardware\">" + hardwareCell(*f) + "</td><td data-label=\"Page\">" +
               pageCell(f->check) + "</td>";
        if (strips) row += "<td data-label=\"Last hour\">" + historyCell(watching, entry.first) + "</td>";
        row += "</tr>\n";
        if (written + row.size() + reserve > limit) break;
        out << row;
        written += row.size();
        ++shownRows;
    }
    out << "</tbody>\n</table>\n";
    if (shownRows < devices.size())
        out << "<p class=\"note\">" << devices.size() - shownRows << " more devices, see the listing.</p>\n";
    if (watching && !watching->gone.empty()) writeGone(out, *watching, written, limit > reserve ? limit - reserve : 0);
    out << "</body>\n</html>\n";
}

std::string pageHtml(const DeviceTable& devices, std::chrono::system_clock::time_point when, const FactsTable* facts,
                     size_t limit) {
    std::ostringstream page;
    writePage(page, devices, facts, when, limit);
    return page.str();
}

}  // namespace webfind
