#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
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
// It lists the devices up and, as text, those that went.
class LivePage {
public:
    using Time = std::chrono::system_clock::time_point;
    // The latest this many devices that went are shown.
    static constexpr size_t MAX_GONE = 50;

    // `open`: hand the page to the desktop; otherwise only say where it is.
    // Notes for the user go to `err`.
    LivePage(const Desktop& desktop, bool open, unsigned refreshSeconds, std::ostream& err)
        : desktop(desktop), open(open), refreshSeconds(refreshSeconds), err(err) {}

    // The first page, before the first round; false when no page could be
    // written (said on `err`): the watch goes on without one.
    bool start(Time now);
    // A device that went joins those gone; one that comes back leaves them.
    void event(const WatchEvent& event, Time now);
    void roundEnded(uint64_t round, const DeviceTable& up, const FactsTable& facts, Time now);
    void end(const DeviceTable& up, const FactsTable& facts, Time now);

private:
    void rewrite(const DeviceTable& up, const FactsTable& facts, Time when);

    const Desktop& desktop;
    const bool open;
    const unsigned refreshSeconds;
    std::ostream& err;
    bool started = false;  // a page was written
    bool failing = false;  // the last rewrite failed (said once until one succeeds)
    SavedPage page;
    WatchPage watching;
    std::map<uint64_t, Time> roundEnds;  // of the last few rounds: when a device that went was last seen
};

}  // namespace webfind
