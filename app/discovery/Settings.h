#pragma once

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "app/base/Address.h"
#include "app/base/Device.h"
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
    // A probe that cannot leave through one of `interfaces` still leaves
    // through the others; only one that leaves through none fails. A watch
    // asks this: one interface that went must not stop the rest.
    bool eachInterfaceAlone = false;
    Timings timings;
};

// Everything a run or a watch is told.
struct RunSettings {
    SessionSettings session;
    TableLimits limits;
    DeviceFilter filter;
    // End the run at the first valid answer the filter keeps, and find that
    // device alone.
    bool stopAtFirst = false;
    // When set, what the run does and why, for people debugging a network.
    std::ostream* log = nullptr;
};

}  // namespace webfind
