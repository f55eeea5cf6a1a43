#include "app/discovery/Watch.h"

#include "Network/Platform.h"
#include "app/discovery/Session.h"

namespace webfind {

bool WatchTracker::wanted(const Address& address) const {
    auto known = lastRound.find(address);
    return known == lastRound.end() || known->second != round;
}

Take WatchTracker::keep(const Address& address, const std::string& name, const std::string& url) {
    const Device* device = up.find(address);
    if (!device) {
        if (up.add(address, name, url) == DeviceTable::Added::FULL) {
            ++refused;
            return Take::FULL;
        }
        lastRound[address] = round;
        emit(WatchEvent{WatchEvent::UP, address, name, url, {}, round + 1});
        return Take::KEPT;
    }
    lastRound[address] = round;
    if (device->name != name || device->url != url) {
        if (!up.change(address, name, url)) {
            ++refused;  // the change does not fit: the device stays as it was
            return Take::FULL;
        }
        emit(WatchEvent{WatchEvent::CHANGED, address, name, url, {}, round + 1});
    }
    return Take::KEPT;
}

void WatchTracker::endRound() {
    for (auto it = lastRound.begin(); it != lastRound.end();) {
        if (round - it->second >= MISSED_ROUNDS_FOR_DOWN) {
            const Device& device = *up.find(it->first);
            emit(WatchEvent{WatchEvent::DOWN, it->first, device.name, device.url, {}, it->second + 1});
            up.remove(it->first);
            it = lastRound.erase(it);
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
        observer.watchEnded(tracker.devices());
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
        report.rejected = intake.rejected();
        report.leftOut = tracker.leftOut();
        observer.roundEnded(round + 1, report, tracker.devices());
    }
    observer.watchEnded(tracker.devices());
    return report;
}

}  // namespace webfind
