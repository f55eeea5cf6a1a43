#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>

#include "app/base/Device.h"
#include "app/discovery/Intake.h"
#include "app/discovery/Run.h"
#include "app/discovery/Settings.h"

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

// The devices seen round after round, and what changed: a device is up the
// moment its first valid answer is taken, changed when its first answer in a
// round carries another name or URL than before, and down (and forgotten)
// once it has missed two rounds in a row.
class WatchTracker : public Keeper {
public:
    using Emit = std::function<void(const WatchEvent&)>;
    WatchTracker(size_t maxDevices, size_t maxBytes, Emit emit) : up(maxDevices, maxBytes), emit(std::move(emit)) {}

    // False for a device already seen this round: its further answers
    // cannot change anything.
    bool wanted(const Address& address) const override;
    Take keep(const Address& address, const std::string& name, const std::string& url) override;
    // Devices whose names the filter leaves out are not watched at all.
    Take passOver(const Address&) override { return Take::KEPT; }
    void endRound();
    size_t known() const { return up.size(); }
    // The devices up now, as last announced.
    const DeviceTable& devices() const { return up; }
    // New devices, and changes, that did not fit (each once a round).
    size_t leftOut() const { return refused; }

private:
    static constexpr uint64_t MISSED_ROUNDS_FOR_DOWN = 2;

    DeviceTable up;
    Emit emit;
    std::map<Address, uint64_t> lastRound;  // of each device's last answer
    size_t refused = 0;
    uint64_t round = 0;
};

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
