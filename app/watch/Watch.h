#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/base/Device.h"
#include "app/discovery/Discovery.h"
#include "app/discovery/Interfaces.h"
#include "app/discovery/Settings.h"
#include "app/output/Events.h"

namespace webfind {

// Hears what a watch sees, as it happens.
class WatchObserver {
public:
    virtual ~WatchObserver() = default;
    virtual void event(const WatchEvent& event) = 0;
    // A round could not probe (or listen), at `step`; the next round tries
    // again. Said for every such round: the observer chooses what to repeat.
    virtual void roundFailed(uint64_t round, SocketStep step, const FailureReason& why) = 0;
    // At the start of a round, the interfaces it probes through changed
    // (a watch that follows them); `interfaces` is every interface now.
    virtual void interfacesChanged(uint64_t round, const std::vector<InterfaceChange>& changes,
                                   const std::vector<BRIVO::LocalInterface>& interfaces) {
        (void)round, (void)changes, (void)interfaces;
    }
    // The watch did not run for `gap` (the host slept): `nextRound` takes a
    // fresh look, and says only what differs from before.
    virtual void resumed(uint64_t nextRound, Milliseconds gap) { (void)nextRound, (void)gap; }
    // A round's probes are over and its devices judged (or, when it could
    // not probe, not judged): what it says of them is said.
    virtual void roundJudged(uint64_t round, const DeviceTable& up) { (void)round, (void)up; }
    // A round (numbered from 1) has ended; `report` says what the watch has
    // seen so far, its `answered` the devices up now, which are `up`.
    virtual void roundEnded(uint64_t round, const RunReport& report, const DeviceTable& up) = 0;
    // The watch ends, however it ends, with `up` the devices up then.
    virtual void watchEnded(const DeviceTable& up) { (void)up; }
};

// A watch probes this often unless told otherwise.
constexpr Milliseconds WATCH_INTERVAL{10000};

// How hard a round tries before a device is called down. A round sends one
// probe while every device known answered the last; when one has not
// answered within `answerWait`, more probes follow, `retryPause` apart,
// until every device known has answered or `retries` more went out, and
// a device that answered none of them is down `retryPause` after the last.
// The first round, and the first after a failure or a gap, sends the
// run's three probes. At --watch=1 a device that dies is down within
// 1 s + 100 + 4 x 90 ms + 90 ms = 1.46 s; a device that answers is
// called down only when five probes or their answers in a row are lost.
struct Liveness {
    Milliseconds answerWait{100};
    uint32_t retries = 4;
    Milliseconds retryPause{90};
};

struct WatchSettings {
    Milliseconds interval = WATCH_INTERVAL;  // a round of probes this often
    Milliseconds duration{0};                // 0: until stopped
    std::function<bool()> stopRequested;     // asked between waits
    // A descriptor that becomes readable when a stop is requested: waits
    // then last until something happens. -1: none (waits are kept short).
    intptr_t wake = -1;
    // The interfaces to follow (-i, repeatable) or all of them (-a); with
    // neither, the system's routing chooses, round after round.
    std::vector<std::string> interfaces;
    bool allInterfaces = false;
    Liveness liveness;
};

// Watches round after round until the duration passes or a stop is asked
// for, telling `observer` as things happen. Only a socket that cannot be
// opened or bound ends it (the report's `failedStep` says so); a round that
// cannot probe (no network yet, no interface, no route) goes to the
// observer, and the next round tries again. Rounds are timed on the
// platform's monotonic clock, which counts the time the host slept: after a
// gap much longer than the interval, no device is called down for the
// rounds that did not run.
RunReport watch(const RunSettings& settings, const WatchSettings& watching, WatchObserver& observer);

}  // namespace webfind
