#pragma once

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "app/base/Address.h"
#include "app/discovery/Filter.h"
#include "app/discovery/Timings.h"

namespace webfind {

// An interface to send the probes out of.
struct ProbeInterface {
    std::string name;
    Address address;
};

// What the socket of a discovery does: where it listens, where the probes
// leave, and when.
struct SessionSettings {
    // The local UDP port the probes leave from and the answers arrive at;
    // 0 lets the system choose one.
    uint16_t localPort = 0;
    // Empty: the probes leave where the system's routing sends them...
    std::vector<ProbeInterface> interfaces;
    // ... which is here, for the verbose log, when known.
    ProbeInterface routed;
    Timings timings;
};

// Everything a run or a watch is told.
struct RunSettings {
    SessionSettings session;
    size_t maxDevices = MAX_DEVICES;
    size_t maxDeviceBytes = MAX_DEVICE_BYTES;
    DeviceFilter filter;
    // End the run at the first valid answer the filter keeps, and find that
    // device alone.
    bool stopAtFirst = false;
    // When set, what the run does and why, for people debugging a network.
    std::ostream* log = nullptr;
};

// The socket step whose failure ended a run. STARTUP: the socket layer
// itself could not be started (its assertion line is written already).
enum class SocketStep { NONE, STARTUP, OPEN, BIND, SEND, RECEIVE };

// The message of a failed step as the run prints it on standard output
// ("Socket Send Err"); empty for NONE and STARTUP.
const char* failureMessage(SocketStep step);

// Why a socket step failed, in the system's words, and what that means.
struct FailureReason {
    enum Cause { UNKNOWN, OTHER, NO_ROUTE, ADDRESS_IN_USE, ACCESS_DENIED };
    Cause cause = UNKNOWN;
    std::string text;  // "Network is unreachable"; empty when unknown
};

}  // namespace webfind
