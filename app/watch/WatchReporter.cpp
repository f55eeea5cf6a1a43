#include "app/watch/WatchReporter.h"

#include "app/base/Text.h"
#include "app/system/ServiceManager.h"
#include "app/output/Events.h"
#include "app/output/Listing.h"

namespace webfind {

WatchReporter::WatchReporter(WatchReporting reporting, std::ostream& out, std::ostream& err, Diagnose diagnose,
                             LivePage* page, MetricsFile* metrics, HardwareLookup hardware)
    : reporting(std::move(reporting)),
      out(out),
      err(err),
      diagnose(std::move(diagnose)),
      page(page),
      metrics(metrics),
      hardware(std::move(hardware)) {
    // The rounds and their events never wait for a page: its verdict
    // follows as an event of its own.
    if (this->reporting.check)
        checks = std::make_unique<BackgroundChecks>(
            *this->reporting.check,
            [this](const Address& a, const std::string& url, const PageCheck& c) { checked(a, url, c); });
}

void WatchReporter::event(const WatchEvent& e) {
    WatchEvent known = e;
    if (e.kind != WatchEvent::DOWN) hardware.add(known.address, known.facts);
    {
        std::lock_guard<std::mutex> held(lock);
        if (keepsFacts()) {
            if (e.kind == WatchEvent::DOWN)
                facts.erase(e.address);
            else
                facts[e.address] = known.facts;
        }
        if (page) page->event(e, Clock::now());
        print(known);
    }
    if (e.kind == WatchEvent::DOWN) ++silence.gone;
    if (checks && e.kind != WatchEvent::DOWN) checks->add(e.address, e.url);
}

void WatchReporter::watchEnded(const DeviceTable& up) {
    if (checks) checks->stop();
    if (page) page->end(up, facts, Clock::now());
}

void WatchReporter::roundFailed(uint64_t round, SocketStep step, const FailureReason& why) {
    failedThisRound = true;
    if (page) page->roundFailed(round);
    std::string what = failureMessage(step);
    if (!why.text.empty()) what += " (" + why.text + ")";
    if (what == failing) return;
    failing = what;
    err << Priority::WARNING << "webfind: round " << round << ": " << what << "; trying again each round\n"
        << std::flush;
}

void WatchReporter::interfacesChanged(uint64_t round, const std::vector<InterfaceChange>& changes,
                                      const std::vector<BRIVO::LocalInterface>& interfaces) {
    for (const InterfaceChange& c : changes) {
        std::string addresses;
        for (const Address& a : c.addresses) addresses += (addresses.empty() ? "" : ", ") + a.text();
        const std::string name = escapeForTerminal(c.name);
        switch (c.kind) {
        case InterfaceChange::CAME:
            err << Priority::NOTICE << "webfind: round " << round << ": probing through " << name << " (" << addresses
                << ")\n";
            break;
        case InterfaceChange::WENT:
            err << Priority::WARNING << "webfind: round " << round << ": " << name
                << " is gone or down; no probes through it until it is back\n";
            break;
        case InterfaceChange::MOVED:
            err << Priority::NOTICE << "webfind: round " << round << ": " << name << " is now " << addresses
                << "; probing through it there\n";
            break;
        case InterfaceChange::MISSING:
            err << Priority::WARNING << "webfind: " << name
                << " is not here or not up (yet); probing through it once it is\n";
            break;
        }
    }
    if (!changes.empty()) err << std::flush;
    // Which devices are on this host's links, for the hardware: looked at
    // again only when the links changed.
    Subnets now = subnetsOf(interfaces);
    if (now == links) return;
    links = now;
    hardware.linksChanged(directlyConnected(std::move(now)));
}

void WatchReporter::resumed(uint64_t nextRound, Milliseconds gap) {
    err << Priority::NOTICE << "webfind: the watch did not run for "
        << std::chrono::duration_cast<std::chrono::seconds>(gap).count() << " s (the host slept?); round " << nextRound
        << " takes a fresh look\n"
        << std::flush;
}

void WatchReporter::roundEnded(uint64_t round, const RunReport& report, const DeviceTable& up) {
    if (!failedThisRound && !failing.empty()) {
        err << Priority::NOTICE << "webfind: round " << round << ": probing again\n" << std::flush;
        failing.clear();
    }
    failedThisRound = false;
    hardware.roundEnded();
    const auto now = Clock::now();
    {
        std::lock_guard<std::mutex> held(lock);
        if (page) page->roundEnded(round, up, facts, now);
        if (metrics) metrics->write(up, facts, WatchCounts{round, now, report.rejected});
    }
    if (report.leftOut > 0 && !leftOutSaid) {
        err << withPriority(Priority::WARNING, leftOutNote(report.leftOut, false, reporting.limits, true))
            << std::flush;
        leftOutSaid = true;
    }
    explainSilence(report);
}

// Under the lock.
void WatchReporter::print(const WatchEvent& e) {
    if (!out) return;  // lost already; the watch is ending
    out << eventLine(e, reporting.json, Clock::now()) << '\n';
    if (!reporting.json) writeDeviceDetails(out, e.address, e.facts, reporting.longListing);
    out << std::flush;
}

// On the checking thread.
void WatchReporter::checked(const Address& address, const std::string& url, const PageCheck& check) {
    std::lock_guard<std::mutex> held(lock);
    auto known = facts.find(address);
    if (known != facts.end()) known->second.check = check;
    if (out) out << checkedLine(address, url, check, reporting.json, Clock::now()) << '\n' << std::flush;
}

// After a round with nothing up, the diagnosis of these empty
// rounds, from what arrived in it alone; again only when it would say
// something else, and looked at again at most once a minute. Devices that
// were up and went are said first.
void WatchReporter::explainSilence(const RunReport& report) {
    if (report.answered > 0) {
        silence = Silence{report.rejected, Clock::now(), 0};
        lastLook = std::chrono::steady_clock::time_point();
        return;
    }
    const auto now = std::chrono::steady_clock::now();
    if (!reporting.explain || !diagnose ||
        (lastLook.time_since_epoch().count() && now - lastLook < std::chrono::minutes(1)))
        return;
    lastLook = now;
    // Only what came in these rounds, and of that only what was no valid
    // answer: the answers of the devices that were up are no cause of it.
    RunReport inSilence = report;
    inSilence.rejected = report.rejected - std::min(report.rejected, silence.rejectedBefore);
    inSilence.datagrams = inSilence.rejected;
    std::string text;
    if (silence.gone > 0)
        text = "webfind: " +
               std::string(silence.gone == 1 ? "the device" : "the " + std::to_string(silence.gone) + " devices") +
               " seen until " + clockTime(silence.lastSeen) + " stopped answering.\n";
    text += diagnose(inSilence);
    if (text != lastSaid) {
        const size_t first = text.find('\n') + 1;
        err << withPriority(silence.gone > 0 ? Priority::WARNING : Priority::NOTICE, text.substr(0, first))
            << withPriority(Priority::NOTICE, text.substr(first)) << std::flush;
    }
    lastSaid = text;
}

}  // namespace webfind
