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
// when a round that was judged ends without an answer from it. The watch
// decides how hard a round tries before it is judged.
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
    // The devices known that have not answered since the round began.
    size_t missing() const { return lastRound.size() - answeredNow; }
    // The round ends. `judged`: the devices that did not answer in it are
    // down; otherwise (no probe could go out, the host slept) nothing is
    // said of them.
    void endRound(bool judged = true);
    size_t known() const { return up.size(); }
    // The devices up now, as last announced.
    const DeviceTable& devices() const { return up; }
    // New devices, and changes, that did not fit (each once a round).
    size_t leftOut() const { return refused; }

private:
    DeviceTable up;
    Emit emit;
    std::map<Address, uint64_t> lastRound;  // of each device's last answer
    size_t refused = 0;
    uint64_t round = 0;
    size_t answeredNow = 0;  // of the devices known, those that answered this round
};

}  // namespace webfind
