#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "Network/IPAddress.h"

namespace webfind {

using Milliseconds = std::chrono::milliseconds;

// The devices found, keyed by source address (port field 0), in address
// order; each holds the name and the URL of its first valid answer.
using DeviceTable = std::map<BRIVO::IPAddress, std::pair<std::string, std::string>>;

constexpr uint32_t PROBE_COUNT = 3;
constexpr Milliseconds PROBE_PAUSE{100};
// Collecting ends when this long passes without a datagram.
constexpr Milliseconds QUIET_WAIT{200};

// Collecting stops this long after it began even if datagrams keep coming, so
// a host that never falls quiet cannot keep the tool running.
constexpr Milliseconds COLLECT_LIMIT{5000};

// Forged source addresses must not be able to exhaust memory: answers from
// further new addresses are ignored once this many devices are known.
constexpr size_t MAX_DEVICES = 65536;

// Room for a whole round of answers (about 10,000 small datagrams) while the
// run is busy; the system may grant less.
constexpr int32_t RECEIVE_BUFFER_BYTES = 8 << 20;

// Exit statuses of the run.
constexpr int EXIT_DONE = 0;
constexpr int EXIT_SOCKET_FAILURE = -1;

// An interface to send the probes out of.
struct ProbeInterface {
    std::string name;
    uint8_t address[4];  // network order
};

struct RunSettings {
    // The local UDP port the probes leave from and the answers arrive at;
    // 0 lets the system choose one.
    uint16_t localPort = 0;
    Milliseconds quietWait = QUIET_WAIT;
    Milliseconds collectLimit = COLLECT_LIMIT;
    size_t maxDevices = MAX_DEVICES;
    // Empty: the probes leave where the system's routing sends them.
    std::vector<ProbeInterface> interfaces;
    // Device names to look for (see nameMatches); empty: every device.
    std::vector<std::string> patterns;
    // End the run at the first valid answer whose name matches, and present
    // that device alone.
    bool stopAtFirst = false;
    // When set, what the run does and why, for people debugging a network.
    std::ostream* log = nullptr;
};

// Shows the devices found; called once, after collecting, while the run's
// objects are still alive.
using Presenter = std::function<void(const DeviceTable&)>;

// What a run saw, for explaining an empty result.
struct RunReport {
    enum Step { NONE, OPEN, BIND, SEND, RECEIVE };
    Step failed = NONE;        // the step whose failure ended the run
    size_t datagrams = 0;      // received, whatever they held
    size_t devices = 0;        // devices found
};

// One discovery run: probe, collect, present. Failure messages go to `out`.
// Returns the exit status; `report`, when given, says what the run saw.
// Throws BRIVO::Err when the socket layer cannot be started.
int runDiscovery(const RunSettings& settings, std::ostream& out, const Presenter& present,
                 RunReport* report = nullptr);

}  // namespace webfind
