#pragma once

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <functional>
#include <string>
#include <vector>

#include "app/base/Address.h"
#include "app/base/Device.h"
#include "app/discovery/Filter.h"
#include "app/discovery/Link.h"
#include "app/discovery/Timings.h"

namespace webfind {

// What the socket of a discovery does: where it listens, where the probes
// leave, and when.
struct SessionSettings {
    // The local UDP port the probes leave from and the answers arrive at;
    // 0 lets the system choose one.
    uint16_t localPort = 0;
    // Empty: the probes leave where the system's routing sends them...
    std::vector<Link> interfaces;
    // ... which is here, for the verbose log, when known.
    Link routed;
    // A probe that cannot leave through one of `interfaces` still leaves
    // through the others; only one that leaves through none fails. A watch
    // asks this: one interface that went must not stop the rest.
    bool eachInterfaceAlone = false;
    // Addresses probed by unicast, in address order: besides the group
    // through `interfaces`, or with none chosen, instead of the group. At
    // most `rate` probes leave a second.
    std::vector<Address> targets;
    uint32_t rate = 1000;
    // When set, told about once a second while targets are probed: probes
    // sent to them so far, and of how many (every round's).
    std::function<void(size_t sent, size_t total)> progress;
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
