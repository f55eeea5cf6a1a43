#pragma once

#include <chrono>
#include <cstddef>
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

// A watch probes this often unless told otherwise.
constexpr Milliseconds WATCH_INTERVAL{10000};

// Forged source addresses must not be able to exhaust memory: answers from
// further new addresses are left out (and counted) once this many devices
// are known, or once their names and URLs take this many bytes.
constexpr size_t MAX_DEVICES = 65536;
constexpr size_t MAX_DEVICE_BYTES = 32 << 20;

}  // namespace webfind
