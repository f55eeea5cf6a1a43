#include "app/watch/LivePage.h"

#include <algorithm>

#include "app/base/Text.h"
#include "app/system/ServiceManager.h"

namespace webfind {

namespace {

// The first page reloads sooner than the rounds come, so that the first
// round's devices show soon after it ends.
constexpr unsigned FIRST_REFRESH_SECONDS = 5;

// Rounds remembered for the time a device was last seen: a device goes
// after two rounds without an answer.
constexpr size_t REMEMBERED_ROUNDS = 4;

}  // namespace

bool LivePage::start(Time now) {
    watching.refreshSeconds = std::min(refreshSeconds, FIRST_REFRESH_SECONDS);
    watching.started = false;
    const DeviceTable none;
    std::string note, why;
    if (!desktop.savePage([&](std::ostream& out) { writePage(out, none, nullptr, now, PAGE_LIMIT, &watching); }, page,
                          note, why)) {
        err << Priority::WARNING << "webfind: could not write the watch's page (" << why << "); the watch goes on without it\n"
            << std::flush;
        return false;
    }
    started = true;
    if (!note.empty()) err << "webfind: " << note << '\n';
    const std::string shown = escapeForTerminal(page.location);
    if (!open) {
        err << "webfind: the watch's page is " << shown << '\n' << std::flush;
    } else if (!desktop.available(why)) {
        err << "webfind: " << why << "; the watch's page is " << shown << '\n' << std::flush;
    } else if (desktop.open(page.location, why)) {
        err << "webfind: opened the watch's page: " << shown << '\n' << std::flush;
        desktop.settle(err);
    } else {
        err << Priority::WARNING << "webfind: could not open the watch's page " << shown << ": " << why << '\n' << std::flush;
    }
    return true;
}

void LivePage::event(const WatchEvent& e, Time now) {
    auto& gone = watching.gone;
    gone.erase(std::remove_if(gone.begin(), gone.end(), [&](const GoneDevice& g) { return g.address == e.address; }),
               gone.end());
    if (e.kind != WatchEvent::DOWN) return;
    auto seen = roundEnds.find(e.round);
    gone.insert(gone.begin(), GoneDevice{e.address, e.name, seen == roundEnds.end() ? now : seen->second});
    if (gone.size() > MAX_GONE) gone.pop_back();
}

void LivePage::roundEnded(uint64_t round, const DeviceTable& up, const FactsTable& facts, Time now) {
    roundEnds[round] = now;
    while (roundEnds.size() > REMEMBERED_ROUNDS) roundEnds.erase(roundEnds.begin());
    watching.refreshSeconds = refreshSeconds;
    watching.started = true;
    rewrite(up, facts, now);
}

void LivePage::end(const DeviceTable& up, const FactsTable& facts, Time now) {
    watching.refreshSeconds = 0;
    rewrite(up, facts, now);
}

void LivePage::rewrite(const DeviceTable& up, const FactsTable& facts, Time when) {
    if (!started) return;
    std::string why;
    if (desktop.rewritePage(page, [&](std::ostream& out) { writePage(out, up, &facts, when, PAGE_LIMIT, &watching); },
                            why)) {
        failing = false;
        return;
    }
    if (!failing)
        err << Priority::WARNING << "webfind: could not bring the watch's page up to date (" << why << "); trying again next round\n"
            << std::flush;
    failing = true;
}

}  // namespace webfind
