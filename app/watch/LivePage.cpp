#include "app/watch/LivePage.h"

#include <algorithm>

#include "app/base/Text.h"
#include "app/system/ServiceManager.h"

namespace webfind {

namespace {

// The first page reloads sooner than the rounds come, so that the first
// round's devices show soon after it ends.
constexpr unsigned FIRST_REFRESH_SECONDS = 5;

// Rounds that probed remembered for the time a device was last seen: a
// device goes after two of them without an answer.
constexpr size_t REMEMBERED_ROUNDS = 4;

}  // namespace

LivePage::LivePage(const Desktop& desktop, bool open, unsigned refreshSeconds, std::ostream& err)
    : desktop(desktop), open(open), refreshSeconds(refreshSeconds), err(err) {
    // The hour in at most 60 stretches of whole rounds.
    const uint64_t roundsInHour = std::max(1u, 3600u / std::max(1u, refreshSeconds));
    stretchRounds = (roundsInHour + 59) / 60;
    stretchCount = static_cast<size_t>((roundsInHour + stretchRounds - 1) / stretchRounds);
    watching.strips = &strips;
}

bool LivePage::start(Time now) {
    watching.refreshSeconds = std::min(refreshSeconds, FIRST_REFRESH_SECONDS);
    watching.started = false;
    const DeviceTable none;
    std::string note, why;
    if (!desktop.savePage([&](std::ostream& out) { writePage(out, none, nullptr, now, PAGE_LIMIT, &watching); }, page,
                          note, why)) {
        err << Priority::WARNING << "webfind: could not write the watch's page (" << why
            << "); the watch goes on without it\n"
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
        err << Priority::WARNING << "webfind: could not open the watch's page " << shown << ": " << why << '\n'
            << std::flush;
    }
    return true;
}

void LivePage::event(const WatchEvent& e, Time now) {
    if (e.kind == WatchEvent::UP) traces[e.address].upSince = e.round;
    if (e.kind == WatchEvent::DOWN) traces[e.address].upSince = 0;
    auto& gone = watching.gone;
    gone.erase(std::remove_if(gone.begin(), gone.end(), [&](const GoneDevice& g) { return g.address == e.address; }),
               gone.end());
    if (e.kind != WatchEvent::DOWN) return;
    auto seen = roundEnds.find(e.round);
    gone.insert(gone.begin(), GoneDevice{e.address, e.name, seen == roundEnds.end() ? now : seen->second});
    if (gone.size() > MAX_GONE) gone.pop_back();
}

void LivePage::roundEnded(uint64_t round, const DeviceTable& up, const FactsTable& facts, Time now) {
    if (round != failedRound) roundEnds[round] = now;
    while (roundEnds.size() > REMEMBERED_ROUNDS) roundEnds.erase(roundEnds.begin());
    watching.refreshSeconds = refreshSeconds;
    watching.started = true;
    for (const auto& device : up) {
        Trace& t = traces[device.first];
        if (t.upSince == 0) t.upSince = round;
        mark(t, round, true);
    }
    for (const GoneDevice& g : watching.gone) mark(traces[g.address], round, false);
    drawStrips(round, up);
    rewrite(up, facts, now);
}

void LivePage::mark(Trace& trace, uint64_t round, bool isUp) const {
    const uint64_t stretch = (round - 1) / stretchRounds;
    if (trace.stretches.empty()) {
        trace.stretches.emplace_back();
        trace.last = stretch;
    }
    for (; trace.last < stretch; ++trace.last) trace.stretches.emplace_back();
    while (trace.stretches.size() > stretchCount) trace.stretches.pop_front();
    Trace::Stretch& s = trace.stretches.back();
    // Its colour changes with its first round either way.
    if ((isUp ? s.up : s.down) == 0) trace.changed = true;
    ++(isUp ? s.up : s.down);
}

// The strips of the devices up and gone, each ending at this round's
// stretch; the others are forgotten.
void LivePage::drawStrips(uint64_t round, const DeviceTable& up) {
    const uint64_t now = (round - 1) / stretchRounds;
    for (auto it = traces.begin(); it != traces.end();) {
        Trace& t = it->second;
        const bool gone = std::any_of(watching.gone.begin(), watching.gone.end(),
                                      [&](const GoneDevice& g) { return g.address == it->first; });
        if (!up.contains(it->first) && !gone) {
            strips.erase(it->first);
            it = traces.erase(it);
            continue;
        }
        DrawnStrip& drawn = strips[it->first];
        drawn.upFor =
            t.upSince ? std::chrono::seconds((round - t.upSince + 1) * refreshSeconds) : std::chrono::seconds(0);
        if (!t.changed && t.drawnAt == now) {
            ++it;
            continue;
        }
        t.changed = false;
        t.drawnAt = now;
        HourStrip strip;
        strip.cells.assign(stretchCount, HourStrip::UNSEEN);
        // Stretch `last - k` is cell `stretchCount - 1 - (now - last) - k`.
        for (size_t k = 0; k < t.stretches.size(); ++k) {
            const uint64_t age = now - t.last + (t.stretches.size() - 1 - k);
            if (age >= stretchCount) continue;
            const auto& s = t.stretches[k];
            strip.cells[stretchCount - 1 - age] = s.up && s.down ? HourStrip::MIXED
                                                  : s.up         ? HourStrip::UP
                                                  : s.down       ? HourStrip::DOWN
                                                                 : HourStrip::UNSEEN;
        }
        drawn.svg = stripSvg(strip);
        ++it;
    }
}

void LivePage::end(const DeviceTable& up, const FactsTable& facts, Time now) {
    watching.refreshSeconds = 0;
    rewrite(up, facts, now);
}

void LivePage::rewrite(const DeviceTable& up, const FactsTable& facts, Time when) {
    if (!started) return;
    std::string why;
    if (desktop.rewritePage(
            page, [&](std::ostream& out) { writePage(out, up, &facts, when, PAGE_LIMIT, &watching); }, why)) {
        failing = false;
        return;
    }
    if (!failing)
        err << Priority::WARNING << "webfind: could not bring the watch's page up to date (" << why
            << "); trying again next round\n"
            << std::flush;
    failing = true;
}

}  // namespace webfind
