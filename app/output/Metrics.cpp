#include "app/output/Metrics.h"

#include <cstdio>

#include "app/base/Text.h"
#include "app/base/Utf8.h"

namespace webfind {

namespace {

void describe(std::ostream& out, const char* name, const char* type, const char* help) {
    out << "# HELP " << name << ' ' << help << "\n# TYPE " << name << ' ' << type << '\n';
}

std::string label(const char* name, const std::string& value) {
    return std::string(name) + "=\"" + labelValue(value) + "\"";
}

// Each device's series of one metric, where `has` says it has one.
template <typename Has, typename Value>
void perDevice(std::ostream& out, const char* name, const DeviceTable& up, const FactsTable* facts, Has has,
               Value value) {
    if (!facts) return;
    for (const auto& device : up) {
        auto known = facts->find(device.first);
        if (known == facts->end() || !has(known->second)) continue;
        out << name << "{address=\"" << device.first.text() << "\"" << value(known->second) << '\n';
    }
}

bool anyChecked(const FactsTable* facts) {
    if (facts)
        for (const auto& f : *facts)
            if (f.second.check.done()) return true;
    return false;
}

}  // namespace

std::string labelValue(const std::string& bytes) {
    // node_exporter serves the file again, to terminals too: controls are
    // shown as the listing shows them, newlines as the format's own escape.
    std::string value;
    value.reserve(bytes.size());
    for (size_t from = 0; from <= bytes.size();) {
        size_t newline = bytes.find('\n', from);
        if (newline == std::string::npos) newline = bytes.size();
        if (from) value += "\\n";
        for (char c : withReplacementCharacters(escapeForTerminal(bytes.substr(from, newline - from)))) {
            if (c == '\\' || c == '"') value += '\\';
            value += c;
        }
        from = newline + 1;
    }
    return value;
}

void writeMetrics(std::ostream& out, const DeviceTable& up, const FactsTable* facts, const WatchCounts& counts) {
    describe(out, "webfind_device_up", "gauge",
             "A device that answers webfind's probes, by the address it answers from and the name and URL it "
             "announces.");
    for (const auto& device : up)
        out << "webfind_device_up{address=\"" << device.first.text() << "\"," << label("name", device.second.name)
            << ',' << label("url", device.second.url) << "} 1\n";

    if (facts) {
        describe(out, "webfind_device_hardware_info", "gauge",
                 "The MAC address of a device on a directly connected link, and its vendor from the IEEE registry.");
        perDevice(
            out, "webfind_device_hardware_info", up, facts, [](const DeviceFacts& f) { return !f.mac.empty(); },
            [](const DeviceFacts& f) { return "," + label("mac", f.mac) + "," + label("vendor", f.vendor) + "} 1"; });
    }
    if (anyChecked(facts)) {
        describe(out, "webfind_device_page_reachable", "gauge",
                 "1 when the device's page answered webfind's check, 0 when it was refused, timed out or reset.");
        perDevice(
            out, "webfind_device_page_reachable", up, facts, [](const DeviceFacts& f) { return f.check.tried(); },
            [](const DeviceFacts& f) { return std::string("} ") + (f.check.unreachable() ? "0" : "1"); });
        describe(out, "webfind_device_page_status", "gauge", "The HTTP status of the device's page.");
        perDevice(
            out, "webfind_device_page_status", up, facts,
            [](const DeviceFacts& f) { return f.check.answered() && f.check.status >= 0; },
            [](const DeviceFacts& f) { return "} " + std::to_string(f.check.status); });
        describe(out, "webfind_device_page_not_checked", "gauge",
                 "A device whose page could have been checked, but was not: the check's time ran out first.");
        perDevice(
            out, "webfind_device_page_not_checked", up, facts,
            [](const DeviceFacts& f) { return f.check.outcome == PageCheck::NOT_CHECKED; },
            [](const DeviceFacts& f) { return "," + label("reason", f.check.error) + "} 1"; });
    }

    describe(out, "webfind_devices", "gauge", "Devices that answer now.");
    out << "webfind_devices " << up.size() << '\n';
    describe(out, "webfind_rounds_total", "counter", "Rounds of probes since the watch started.");
    out << "webfind_rounds_total " << counts.rounds << '\n';
    describe(out, "webfind_last_round_timestamp_seconds", "gauge", "When the last round ended, in seconds since 1970.");
    const long long millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(counts.lastRound.time_since_epoch()).count();
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%lld.%03lld", millis / 1000, millis % 1000);
    out << "webfind_last_round_timestamp_seconds " << seconds << '\n';
    describe(out, "webfind_datagrams_rejected_total", "counter",
             "Datagrams that were no valid answer: empty, oversized or malformed.");
    out << "webfind_datagrams_rejected_total " << counts.rejected << '\n';
}

}  // namespace webfind
