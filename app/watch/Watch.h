#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "app/base/Device.h"
#include "app/discovery/Discovery.h"
#include "app/discovery/Settings.h"
#include "app/output/Events.h"

namespace webfind {

// Hears what a watch sees, as it happens.
class WatchObserver {
public:
    virtual ~WatchObserver() = default;
    virtual void event(const WatchEvent& event) = 0;
    // A round after the first failed at `step`; the next round tries again.
    virtual void roundFailed(uint64_t round, SocketStep step, const FailureReason& why) = 0;
    // A round (numbered from 1) has ended; `report` says what the watch has
    // seen so far, its `answered` the devices up now, which are `up`.
    virtual void roundEnded(uint64_t round, const RunReport& report, const DeviceTable& up) = 0;
    // The watch ends, however it ends, with `up` the devices up then.
    virtual void watchEnded(const DeviceTable& up) { (void)up; }
};

// A watch probes this often unless told otherwise.
constexpr Milliseconds WATCH_INTERVAL{10000};

struct WatchSettings {
    Milliseconds interval = WATCH_INTERVAL;  // a round of probes this often
    Milliseconds duration{0};                // 0: until stopped
    std::function<bool()> stopRequested;     // asked between waits
    // A descriptor that becomes readable when a stop is requested: waits
    // then last until something happens. -1: none (waits are kept short).
    intptr_t wake = -1;
};

// Watches round after round until the duration passes or a stop is asked
// for, telling `observer` as things happen. A failure in the first round
// ends the watch, as it ends a run: the report's `failed` says so. Later
// failures go to the observer and the next round tries again.
RunReport watch(const RunSettings& settings, const WatchSettings& watching, WatchObserver& observer);

}  // namespace webfind
