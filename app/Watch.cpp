#include "app/Watch.h"

#include "app/Patterns.h"

namespace webfind {

const char* eventWord(WatchEvent::Kind kind) {
    switch (kind) {
    case WatchEvent::UP: return "up";
    case WatchEvent::DOWN: return "down";
    case WatchEvent::CHANGED: return "changed";
    }
    return "";
}

bool WatchTracker::wanted(const BRIVO::IPAddress& address) const {
    auto known = devices.find(address);
    return known == devices.end() || known->second.lastRound != round;
}

Take WatchTracker::take(const BRIVO::IPAddress& address, const std::string& name, const std::string& url) {
    auto known = devices.find(address);
    if (known == devices.end()) {
        if (devices.size() >= maxDevices) return Take::FULL;
        devices.emplace(address, Known{name, url, round});
        emit(WatchEvent{WatchEvent::UP, address, name, url});
        return Take::KEPT;
    }
    Known& device = known->second;
    device.lastRound = round;
    if (device.name != name || device.url != url) {
        device.name = name;
        device.url = url;
        emit(WatchEvent{WatchEvent::CHANGED, address, name, url});
    }
    return Take::KEPT;
}

void WatchTracker::endRound() {
    for (auto it = devices.begin(); it != devices.end();) {
        if (round - it->second.lastRound >= MISSED_ROUNDS_FOR_DOWN) {
            emit(WatchEvent{WatchEvent::DOWN, it->first, it->second.name, it->second.url});
            it = devices.erase(it);
        } else {
            ++it;
        }
    }
    ++round;
}

int runWatch(const RunSettings& settings, const WatchSettings& watch, std::ostream& out, std::ostream& err,
             const EventSink& emit) {
    WatchTracker tracker(settings.maxDevices, emit);
    AnswerHandler handler{[&](const BRIVO::IPAddress& source) { return tracker.wanted(source); },
                          [&](const BRIVO::IPAddress& source, const std::string& name, const std::string& url) {
                              // Devices whose names do not match are not watched at all.
                              return nameMatches(name, settings.patterns) ? tracker.take(source, name, url)
                                                                          : Take::KEPT;
                          }};
    const BRIVO::Platform& os = BRIVO::platform();
    const Milliseconds start(os.nowMs());
    const Milliseconds end = watch.duration > Milliseconds::zero() ? start + watch.duration : Milliseconds::max();
    Session session(settings, handler, watch.stopRequested, end);
    if (!session.open()) {
        out << failureMessage(session.report().failed) << '\n' << std::flush;
        return EXIT_SOCKET_FAILURE;
    }
    for (uint64_t round = 0; !session.finished(); ++round) {
        const Milliseconds roundEnd = start + watch.interval * static_cast<int64_t>(round + 1);
        if (!session.probe() || !session.listenUntil(roundEnd)) {
            const char* failure = failureMessage(session.report().failed);
            if (round == 0) {
                out << failure << '\n' << std::flush;
                return EXIT_SOCKET_FAILURE;
            }
            err << "webfind: round " << round + 1 << ": " << failure << "; trying again next round\n" << std::flush;
            session.report().failed = RunReport::NONE;
            session.pauseUntil(roundEnd);
        }
        // A round cut short by a stop says nothing of the devices it missed.
        if (!session.finished()) tracker.endRound();
    }
    return EXIT_DONE;
}

}  // namespace webfind
