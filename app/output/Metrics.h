#pragma once

#include <chrono>
#include <cstdint>
#include <ostream>
#include <string>

#include "app/base/Device.h"

namespace webfind {

// What a watch has counted so far.
struct WatchCounts {
    uint64_t rounds = 0;                              // rounds ended
    std::chrono::system_clock::time_point lastRound;  // when the last one ended
    uint64_t rejected = 0;                            // datagrams that were no valid answer
};

// A watch in the Prometheus text exposition format (0.0.4), for
// node_exporter's textfile collector:
//   webfind_device_up{address, name, url} 1         each device up now
//   webfind_device_hardware_info{address, mac, vendor} 1   where its MAC address is known
//   webfind_device_page_reachable{address} 1 or 0   with --check, when a connection was tried
//   webfind_device_page_status{address} STATUS      with --check, when the page answered
//   webfind_device_page_not_checked{address, reason} 1   with --check, when time ran out first
//   webfind_devices, webfind_rounds_total, webfind_last_round_timestamp_seconds,
//   webfind_datagrams_rejected_total
// each with its HELP and TYPE. Written as it goes, never held whole.
void writeMetrics(std::ostream& out, const DeviceTable& up, const FactsTable* facts, const WatchCounts& counts);

// `bytes` as a label value, without its quotes: a newline as the format's
// `\n`, the other controls (C0, DEL, C1, bidi) and a backslash before an x as
// `\xHH` as the listing writes them (so the value reads back to the bytes),
// other bytes that are not UTF-8 replaced by U+FFFD, and then backslash and
// double quote escaped as the format requires.
std::string labelValue(const std::string& bytes);

}  // namespace webfind
