#include "app/watch/Watch.h"

#include <algorithm>

#include "Network/Platform.h"
#include "app/discovery/Session.h"
#include "app/watch/Tracker.h"

namespace webfind {

namespace {

// A round that starts, or is judged, this much later than planned did not
// run in between: the host slept (or the watch was stopped and continued).
Milliseconds gapAfter(Milliseconds interval) { return std::max(interval, Milliseconds(5000)); }

// The rounds of one watch: when they come, how hard each tries, and what
// is said of them.
class Rounds {
public:
    Rounds(const RunSettings& settings, const WatchSettings& watching, WatchObserver& observer)
        : watching(watching),
          observer(observer),
          log(settings.log),
          tracker(settings.limits, [&observer](const WatchEvent& e) { observer.event(e); }),
          intake(settings.filter, settings.limits, tracker, log),
          start(BRIVO::platform().nowMs()),
          session(sessionSettings(settings.session), intake, log, watching.stopRequested,
                  watching.duration > Milliseconds::zero() ? start + watching.duration : Milliseconds::max(),
                  watching.wake),
          follower(watching.interfaces, watching.allInterfaces) {
        if (!settings.session.targets.empty())
            intake.expectFrom([this](const Address& source) { return session.probed(source); });
    }

    RunReport run();

private:
    static SessionSettings sessionSettings(SessionSettings s) {
        s.eachInterfaceAlone = true;
        return s;
    }
    bool probe(bool fresh);
    bool late(Milliseconds planned) const { return session.now() - planned > gapAfter(watching.interval); }
    void failed(uint64_t round);

    const WatchSettings& watching;
    WatchObserver& observer;
    const VerboseLog log;
    WatchTracker tracker;
    Intake intake;
    const Milliseconds start;
    Session session;
    InterfaceFollower follower;
    // Why the round could not probe when no interface was there to try.
    FailureReason noInterface;
};

// A round's probes: the run's three when `fresh`, one otherwise; then, while
// a device known has not answered, the retries. False when no probe could
// go out or the socket failed.
bool Rounds::probe(bool fresh) {
    if (follower.choosing()) {
        session.useInterfaces(follower.current());
        if (follower.current().empty()) {
            noInterface = FailureReason{FailureReason::OTHER, follower.problem()};
            return false;
        }
    }
    const Liveness& live = watching.liveness;
    // Every target is asked again each round; within it, only those not heard.
    session.forgetHeard();
    if (!(fresh ? session.probe() : session.sendProbe()) || !session.listenUntil(session.now() + live.answerWait))
        return false;
    for (uint32_t retry = 0; retry < live.retries && tracker.missing() > 0 && !session.finished(); ++retry)
        if (!session.sendProbe() || !session.listenUntil(session.now() + live.retryPause)) return false;
    return true;
}

void Rounds::failed(uint64_t round) {
    if (session.failedStep() == SocketStep::NONE)
        observer.roundFailed(round, SocketStep::SEND, noInterface);
    else
        observer.roundFailed(round, session.failedStep(), session.failureReason());
    session.clearFailure();
}

RunReport Rounds::run() {
    RunReport report;
    if (!session.open()) {
        report.failedStep = session.failedStep();
        report.why = session.failureReason();
        observer.watchEnded(tracker.devices());
        return report;
    }
    Milliseconds roundStart = start;
    bool fresh = true;
    for (uint64_t round = 1; !session.finished(); ++round) {
        const std::vector<InterfaceChange> changes = follower.look();
        observer.interfacesChanged(round, changes, follower.interfaces());
        const bool probed = probe(fresh);
        // A round cut short by a stop says nothing of the devices it missed.
        if (session.finished()) break;
        // Devices that answer from here on count for the next round.
        fresh = !probed;
        if (late(roundStart)) {
            // Asleep in the middle of the round: what it saw is no verdict.
            tracker.endRound(false);
            observer.resumed(round + 1, session.now() - roundStart);
            session.clearFailure();
            roundStart = session.now();
            fresh = true;
        } else {
            tracker.endRound(probed);
            if (!probed) failed(round);
        }
        observer.roundJudged(round, tracker.devices());
        const Milliseconds roundEnd = roundStart + watching.interval;
        if (probed && !session.listenUntil(roundEnd)) {
            failed(round);
            fresh = true;
        }
        session.pauseUntil(roundEnd);
        if (session.finished()) break;
        report.datagrams = intake.datagrams();
        report.answered = tracker.known();
        report.rejected = intake.rejected();
        report.leftOut = tracker.leftOut();
        observer.roundEnded(round, report, tracker.devices());
        roundStart = roundEnd;
        // Asleep while the round waited for its end: the next round starts
        // now, with a fresh look.
        if (late(roundStart)) {
            observer.resumed(round + 1, session.now() - roundStart);
            roundStart = session.now();
            fresh = true;
        }
    }
    observer.watchEnded(tracker.devices());
    return report;
}

}  // namespace

RunReport watch(const RunSettings& settings, const WatchSettings& watching, WatchObserver& observer) {
    return Rounds(settings, watching, observer).run();
}

}  // namespace webfind
