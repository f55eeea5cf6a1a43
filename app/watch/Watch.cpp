#include "app/watch/Watch.h"

#include "Network/Platform.h"
#include "app/discovery/Session.h"
#include "app/watch/Tracker.h"

namespace webfind {

RunReport watch(const RunSettings& settings, const WatchSettings& watching, WatchObserver& observer) {
    WatchTracker tracker(settings.limits, [&](const WatchEvent& e) { observer.event(e); });
    const VerboseLog log(settings.log);
    Intake intake(settings.filter, settings.limits, tracker, log);
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
