#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <ostream>

#include "app/base/Device.h"
#include "app/desktop/Desktop.h"
#include "app/output/Events.h"
#include "app/output/Page.h"

namespace webfind {

// A watch's page, kept current for a screen that shows it: written and
// opened once as the watch starts, written anew at the end of each round (a
// new file renamed over the old: a browser never loads half a page), and
// once more when the watch ends, saying so and no longer reloading itself.
// It lists the devices up and, as text, those that went, each with a strip
// of its last hour drawn from the watch's own rounds (so that a change of
// the wall clock changes nothing of it) and how long it has been up.
class LivePage {
public:
    using Time = std::chrono::system_clock::time_point;
    // The latest this many devices that went are shown.
    static constexpr size_t MAX_GONE = 50;

    // `open`: hand the page to the desktop; otherwise only say where it is.
    // Notes for the user go to `err`.
    // `refreshSeconds`: the watch's interval.
    LivePage(const Desktop& desktop, bool open, unsigned refreshSeconds, std::ostream& err);

    // The first page, before the first round; false when no page could be
    // written (said on `err`): the watch goes on without one.
    bool start(Time now);
    // A device that went joins those gone; one that comes back leaves them.
    void event(const WatchEvent& event, Time now);
    // A round that could not probe: nothing was seen in it, so its end is
    // nobody's "last seen".
    void roundFailed(uint64_t round) { failedRound = round; }
    void roundEnded(uint64_t round, const DeviceTable& up, const FactsTable& facts, Time now);
    void end(const DeviceTable& up, const FactsTable& facts, Time now);

private:
    // A device's rounds of the last hour, in stretches of `stretchRounds`.
    struct Trace {
        struct Stretch {
            uint32_t up = 0, down = 0;
        };
        std::deque<Stretch> stretches;  // oldest first, the last one now's
        uint64_t last = 0;              // the number of the last stretch
        uint64_t upSince = 0;           // the round it came up in; 0 while gone
        // Drawn again only when it changed: in a watch of many devices a
        // strip changes once a stretch, the page is written every round.
        bool changed = true;
        uint64_t drawnAt = 0;  // the stretch it was drawn at
    };
    void rewrite(const DeviceTable& up, const FactsTable& facts, Time when);
    void mark(Trace& trace, uint64_t round, bool isUp) const;
    void drawStrips(uint64_t round, const DeviceTable& up);

    const Desktop& desktop;
    const bool open;
    const unsigned refreshSeconds;
    std::ostream& err;
    bool started = false;  // a page was written
    bool failing = false;  // the last rewrite failed (said once until one succeeds)
    SavedPage page;
    WatchPage watching;
    // The ends of the last few rounds that probed: when a device that went
    // was last seen (it goes after two of them without an answer, however
    // many that could not probe come between).
    std::map<uint64_t, Time> roundEnds;
    uint64_t failedRound = 0;
    // The devices up and those shown gone, no others: as bounded as both.
    std::map<Address, Trace> traces;
    std::map<Address, DrawnStrip> strips;
    uint64_t stretchRounds = 1;  // rounds in a stretch of the hour
    size_t stretchCount = 60;    // stretches in the hour
};

}  // namespace webfind
