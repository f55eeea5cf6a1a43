#include "app/discovery/Watch.h"

#include "Network/Platform.h"
#include "app/discovery/Session.h"

namespace webfind {

bool WatchTracker::wanted(const Address& address) const {
    auto known = devices.find(address);
    return known == devices.end() || known->second.lastRound != round;
}

Take WatchTracker::keep(const Address& address, const std::string& name, const std::string& url) {
    auto known = devices.find(address);
    const size_t cost = DeviceTable::cost(name, url);
    if (known == devices.end()) {
        if (devices.size() >= maxDevices || !fits(cost)) {
            ++refused;
            return Take::FULL;
        }
        devices.emplace(address, Known{name, url, round});
        used += cost;
        emit(WatchEvent{WatchEvent::UP, address, name, url, {}});
        return Take::KEPT;
    }
    Known& device = known->second;
    device.lastRound = round;
    if (device.name != name || device.url != url) {
        const size_t old = DeviceTable::cost(device.name, device.url);
        used -= old;
        if (!fits(cost)) {
            used += old;  // the change does not fit: the device stays as it was
            ++refused;
            return Take::FULL;
        }
        used += cost;
        device.name = name;
        device.url = url;
        emit(WatchEvent{WatchEvent::CHANGED, address, name, url, {}});
    }
    return Take::KEPT;
}

void WatchTracker::endRound() {
    for (auto it = devices.begin(); it != devices.end();) {
        if (round - it->second.lastRound >= MISSED_ROUNDS_FOR_DOWN) {
            emit(WatchEvent{WatchEvent::DOWN, it->first, it->second.name, it->second.url, {}});
            used -= DeviceTable::cost(it->second.name, it->second.url);
            it = devices.erase(it);
        } else {
            ++it;
        }
    }
    ++round;
}

RunReport watch(const RunSettings& settings, const WatchSettings& watching, WatchObserver& observer) {
    WatchTracker tracker(settings.maxDevices, settings.maxDeviceBytes, [&](const WatchEvent& e) { observer.event(e); });
    const VerboseLog log(settings.log);
    Intake intake(settings, tracker, log);
    const Milliseconds start(BRIVO::platform().nowMs());
    const Milliseconds end =
        watching.duration > Milliseconds::zero() ? start + watching.duration : Milliseconds::max();
    Session session(settings.session, intake, log, watching.stopRequested, end, watching.wake);
    RunReport report;
    auto failed = [&] {
        report.failed = session.failed();
        report.why = session.failureReason();
        return report;
    };
    if (!session.open()) return failed();
    for (uint64_t round = 0; !session.finished(); ++round) {
        const Milliseconds roundEnd = start + watching.interval * static_cast<int64_t>(round + 1);
        if (!session.probe() || !session.listenUntil(roundEnd)) {
            if (round == 0) return failed();
            observer.roundFailed(round + 1, session.failed(), session.failureReason());
            session.clearFailure();
            session.pauseUntil(roundEnd);
        }
        // A round cut short by a stop says nothing of the devices it missed.
        if (session.finished()) break;
        tracker.endRound();
        report.datagrams = intake.datagrams();
        report.answered = tracker.known();
        report.leftOut = tracker.leftOut();
        observer.roundEnded(round + 1, report);
    }
    return report;
}

}  // namespace webfind
