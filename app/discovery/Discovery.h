#pragma once

#include <cstddef>
#include <memory>

#include "app/base/Device.h"
#include "app/discovery/Failure.h"
#include "app/discovery/Settings.h"

namespace webfind {

// What a run saw, beside the devices themselves.
// "Failed" means one thing throughout: a socket step failed and ended the
// run (or the watch).
struct RunReport {
    SocketStep failedStep = SocketStep::NONE;  // the step whose failure ended the run
    FailureReason why;                         // and why it failed
    size_t datagrams = 0;                      // received, whatever they held
    size_t rejected = 0;                       // of those, what was no valid answer (repeats not judged)
    size_t answered = 0;                       // devices with a valid answer, the filter's or not
    size_t leftOut = 0;                        // devices more than the table may hold, not listed
    bool leftOutAtLeast = false;               // more than that: too many to count
    size_t notTargets = 0;                     // of the rejected, from no address probed (a run with targets)
    size_t targetsAnswered = 0;                // targets with a valid answer the filter kept
    size_t targetsRefused = 0;                 // "port unreachable" from targets, where the system tells
};

struct RunResult {
    // The devices the filter keeps, in address order (with stopAtFirst, the
    // first alone); empty when the run failed.
    DeviceTable devices;
    RunReport report;

    bool failed() const { return report.failedStep != SocketStep::NONE; }
};

// One discovery run: probe, then collect answers until the network falls
// quiet. The socket is open from run() until this object is destroyed, so
// that answers still arriving while the devices are listed wait in its queue
// instead of drawing errors back to their senders.
class Discovery {
public:
    explicit Discovery(RunSettings settings);
    ~Discovery();
    Discovery(const Discovery&) = delete;
    Discovery& operator=(const Discovery&) = delete;

    // Call once.
    RunResult run();

private:
    struct State;
    std::unique_ptr<State> state;
};

}  // namespace webfind
