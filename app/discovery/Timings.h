#pragma once

#include <chrono>
#include <cstdint>

namespace webfind {

using Milliseconds = std::chrono::milliseconds;

// When a session probes and how long it listens. Every default is here.
struct Timings {
    uint32_t probes = 3;
    Milliseconds probePause{100};
    // Collecting ends when this long passes without a datagram...
    Milliseconds quietWait{200};
    // ... or this long after it began even if datagrams keep coming, so a
    // host that never falls quiet cannot keep the tool running.
    Milliseconds collectLimit{5000};
};

}  // namespace webfind
