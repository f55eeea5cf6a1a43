#include "app/output/Listing.h"

#include "app/base/Text.h"
#include "app/output/Json.h"

namespace webfind {

namespace {

std::string orNull(bool known, const std::string& text) { return known ? jsonString(text) : "null"; }

}  // namespace

std::string checkJson(const PageCheck& c) {
    return std::string("{\"result\":\"") + checkResult(c.outcome) +
           "\",\"fetched\":" + (c.answered() ? "true" : "false") +
           ",\"status\":" + (c.status >= 0 ? std::to_string(c.status) : "null") +
           ",\"title\":" + orNull(c.hasTitle, c.title) + ",\"location\":" + orNull(c.hasLocation, c.location) +
           ",\"tls\":" + orNull(!c.tls.empty(), c.tls) + ",\"error\":" + orNull(!c.error.empty(), c.error) + "}";
}

namespace {

std::string dashIfEmpty(const std::string& text) { return text.empty() ? "-" : escapeForTerminal(text); }

}  // namespace

std::string leftOutNote(size_t leftOut, bool atLeast, const TableLimits& limits, bool watch) {
    const std::string bounds = " (" + std::to_string(limits.devices) + " devices, " +
                               std::to_string(limits.bytes >> 20) + " MiB of names and URLs); ";
    if (watch) return "webfind: more devices answered than a watch keeps" + bounds + "those are left out\n";
    return "webfind: " + std::string(atLeast ? "at least " : "") + std::to_string(leftOut) +
           " more devices answered than a run keeps" + bounds + "they are not listed\n";
}

const char* checkResult(PageCheck::Outcome outcome) {
    switch (outcome) {
    case PageCheck::NONE: return "";
    case PageCheck::NOT_ALLOWED: return "not fetched";
    case PageCheck::NOT_CHECKED: return "not checked";
    case PageCheck::UNREACHABLE: return "unreachable";
    case PageCheck::FAILED: return "failed";
    case PageCheck::ANSWERED: return "answered";
    }
    return "";
}

void writeDeviceLine(std::ostream& out, const Device& device) {
    out << "Name:" << escapeForTerminal(device.name) << " URL:" << escapeForTerminal(device.url);
}

void writeDeviceDetails(std::ostream& out, const Address& address, const DeviceFacts& facts, bool hardware) {
    if (hardware)
        out << "  device: address=" << address.text() << " mac=" << dashIfEmpty(facts.mac)
            << " vendor=" << dashIfEmpty(facts.vendor)
            << (facts.mac.empty() && facts.notInNeighbours ? " (not in the neighbour table yet)" : "") << '\n';
    const PageCheck& c = facts.check;
    if (!c.done()) return;
    out << "  check: ";
    if (!c.answered()) {
        out << checkResult(c.outcome) << ": " << escapeForTerminal(c.error) << '\n';
        return;
    }
    out << "status=" << c.status;
    if (c.hasLocation) out << " location=" << escapeForTerminal(c.location);
    out << " tls=" << (c.tls.empty() ? "-" : c.tls);
    if (c.hasTitle) out << " title=" << escapeForTerminal(c.title);
    out << '\n';
}

std::string factsJson(const DeviceFacts& facts, bool pretty) {
    const std::string next = pretty ? ",\n    " : ",";
    const std::string colon = pretty ? ": " : ":";
    std::string json = next + "\"mac\"" + colon + orNull(!facts.mac.empty(), facts.mac) + next + "\"vendor\"" + colon +
                       orNull(!facts.vendor.empty(), facts.vendor);
    if (facts.check.done()) json += next + "\"check\"" + colon + checkJson(facts.check);
    return json;
}

// Written as it goes, one device at a time: however many there are, the
// array is never held whole.
void writeJson(std::ostream& out, const DeviceTable& devices, const FactsTable* facts) {
    if (devices.empty()) {
        out << "[]\n" << std::flush;
        return;
    }
    static const DeviceFacts unknown;
    const char* separator = "[\n";
    for (const auto& entry : devices) {
        const DeviceFacts* known = &unknown;
        if (facts) {
            auto f = facts->find(entry.first);
            if (f != facts->end()) known = &f->second;
        }
        out << separator << "  {\n    \"address\": \"" << entry.first.text()
            << "\",\n    \"name\": " << jsonString(entry.second.name)
            << ",\n    \"url\": " << jsonString(entry.second.url) << factsJson(*known, true) << "\n  }";
        separator = ",\n";
    }
    out << "\n]\n" << std::flush;
}

}  // namespace webfind
