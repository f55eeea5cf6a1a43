#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>

#include "app/base/Device.h"
#include "app/discovery/Intake.h"
#include "app/output/Events.h"

namespace webfind {

// The devices seen round after round, and what changed: a device is up the
// moment its first valid answer is taken, changed when its first answer in a
// round carries another name or URL than before, and down (and forgotten)
// once it has missed two rounds in a row.
class WatchTracker : public Keeper {
public:
    using Emit = std::function<void(const WatchEvent&)>;
    WatchTracker(const TableLimits& limits, Emit emit) : up(limits), emit(std::move(emit)) {}

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

}  // namespace webfind
