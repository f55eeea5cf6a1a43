#include "app/watch/Heartbeat.h"

#include <chrono>

namespace webfind {

Heartbeat::Heartbeat(WatchObserver& inner, const ServiceManager& manager, Milliseconds interval)
    : inner(inner), manager(manager) {
    // A heartbeat comes at each round's end: room for one late round, and
    // for the time a round's end may take (its page, its metrics).
    const std::chrono::microseconds needed = 2 * interval + std::chrono::seconds(30);
    if (manager.watchdog().count() && manager.watchdog() < needed) manager.extendWatchdog(needed);
}

void Heartbeat::roundFailed(uint64_t round, SocketStep step, const FailureReason& why) {
    failedRound = round;
    failure = failureMessage(step);
    if (!why.text.empty()) failure += " (" + why.text + ")";
    inner.roundFailed(round, step, why);
}

void Heartbeat::roundJudged(uint64_t round, const DeviceTable& up) {
    inner.roundJudged(round, up);
    if (ready) return;
    manager.ready(status(round, up));
    ready = true;
}

void Heartbeat::roundEnded(uint64_t round, const RunReport& report, const DeviceTable& up) {
    inner.roundEnded(round, report, up);
    manager.alive(status(round, up));
}

std::string Heartbeat::status(uint64_t round, const DeviceTable& up) const {
    std::string text = std::to_string(up.size()) + (up.size() == 1 ? " device up" : " devices up") + " (round " +
                       std::to_string(round) + ")";
    if (failedRound == round) text += "; this round could not probe: " + failure;
    return text;
}

}  // namespace webfind
