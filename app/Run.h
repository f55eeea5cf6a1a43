#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <ostream>
#include <string>
#include <utility>

#include "IPAddress.h"

// The devices found, keyed by source address (port field 0), in address order.
using DeviceTable = std::map<BRIVO::IPAddress, std::pair<std::string, std::string>>;

// Hands a URL to the desktop; false with a reason when it could not be started.
using UrlOpener = std::function<bool(const std::string& url, std::string& why)>;

// Collecting stops this long after it began even if datagrams keep coming, so
// a host that never falls quiet cannot keep the tool running.
constexpr uint32_t COLLECT_LIMIT_MS = 5000;

constexpr uint32_t PROBE_COUNT = 3;
constexpr uint32_t PROBE_PAUSE_MS = 100;
constexpr uint32_t QUIET_WAIT_US = 200000;

// Exit statuses of the run.
constexpr int EXIT_DONE = 0;
constexpr int EXIT_SOCKET_FAILURE = -1;

struct RunSettings {
    uint32_t quietWaitUs = QUIET_WAIT_US;
    uint32_t collectLimitMs = COLLECT_LIMIT_MS;
};

// One discovery run: probe, collect, then open and list each device. Device
// lines and failure messages go to `out`; `err` gets notes for the user that
// are not part of the listing. Returns the exit status. Throws BRIVO::Err when
// the socket layer cannot be started.
int runDiscovery(const RunSettings& settings, std::ostream& out, std::ostream& err,
                 const UrlOpener& openUrl);

// A name or URL made safe for a terminal: bytes below 0x20 and 0x7F become
// \xHH (upper-case hex); every other byte is kept.
std::string escapeForTerminal(const std::string& text);
