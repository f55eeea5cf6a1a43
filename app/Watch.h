#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <ostream>
#include <string>

#include "Network/IPAddress.h"
#include "app/Run.h"
#include "app/Session.h"

namespace webfind {

// Something that happened to a device while watching.
struct WatchEvent {
    enum Kind { UP, DOWN, CHANGED };
    Kind kind;
    BRIVO::IPAddress address;
    std::string name;
    std::string url;
};

// The word that starts an event's line, and its JSON "event".
const char* eventWord(WatchEvent::Kind kind);

using EventSink = std::function<void(const WatchEvent& event)>;

// The devices seen round after round, and what changed: a device is up the
// moment its first valid answer is taken, changed when its first answer in a
// round carries another name or URL than before, and down (and forgotten)
// once it has missed two rounds in a row.
class WatchTracker {
public:
    WatchTracker(size_t maxDevices, EventSink emit) : maxDevices(maxDevices), emit(std::move(emit)) {}

    // False for a device already seen this round: its further answers
    // cannot change anything.
    bool wanted(const BRIVO::IPAddress& address) const;
    Take take(const BRIVO::IPAddress& address, const std::string& name, const std::string& url);
    void endRound();
    size_t known() const { return devices.size(); }

private:
    struct Known {
        std::string name;
        std::string url;
        uint64_t lastRound;  // the round of its last answer
    };
    static constexpr uint64_t MISSED_ROUNDS_FOR_DOWN = 2;

    size_t maxDevices;
    EventSink emit;
    std::map<BRIVO::IPAddress, Known> devices;
    uint64_t round = 0;
};

struct WatchSettings {
    Milliseconds interval{10000};       // a round of probes this often
    Milliseconds duration{0};           // 0: until stopped
    std::function<bool()> stopRequested;  // asked between waits
};

// Watches round after round until the duration passes or a stop is asked
// for; events go to `emit` as they happen. A failure in the first round ends
// the watch as it ends a run (its message on `out`, EXIT_SOCKET_FAILURE);
// later failures are written to `err` and the next round tries again.
int runWatch(const RunSettings& settings, const WatchSettings& watch, std::ostream& out, std::ostream& err,
             const EventSink& emit);

}  // namespace webfind
