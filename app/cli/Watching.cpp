#include "app/cli/Watching.h"

#include <chrono>
#include <iostream>
#include <memory>
#include <vector>

#include "app/base/Text.h"
#include "app/cli/Reports.h"
#include "app/desktop/Console.h"
#include "app/desktop/LivePage.h"
#include "app/desktop/Present.h"
#include "app/discovery/Watch.h"
#include "app/inspect/Check.h"
#include "app/inspect/Hardware.h"
#include "app/output/Events.h"
#include "app/output/Listing.h"
#include "app/output/Metrics.h"
#include "app/system/Files.h"

namespace webfind {

namespace {

using Clock = std::chrono::system_clock;

// The metrics file, replaced at the end of each round. A failure is said
// once, and again only after a write has succeeded.
class MetricsFile {
public:
    explicit MetricsFile(std::string path) : path(std::move(path)) {}

    bool write(const DeviceTable& up, const FactsTable& facts, const WatchCounts& counts) {
        std::string why;
        if (replaceFile(path, [&](std::ostream& out) { writeMetrics(out, up, &facts, counts); }, why)) {
            failing = false;
            return true;
        }
        if (!failing) std::cerr << "webfind: could not write the metrics: " << why << '\n' << std::flush;
        failing = true;
        return false;
    }

private:
    const std::string path;
    bool failing = false;
};

class EventPrinter : public WatchObserver {
public:
    EventPrinter(const Options& options, const RunSettings& settings, LivePage* page, MetricsFile* metrics)
        : options(options), settings(settings), page(page), metrics(metrics) {}

    void event(const WatchEvent& e) override {
        WatchEvent known = e;
        if (e.kind != WatchEvent::DOWN) hardware.add(known.address, known.facts);
        // The page and the metrics say what is known of each device up.
        if (keepsFacts()) {
            if (e.kind == WatchEvent::DOWN)
                facts.erase(e.address);
            else
                facts[e.address] = known.facts;
        }
        if (page) page->event(e, Clock::now());
        // With --check, a device that came up or changed is told at the end
        // of its round, its page checked with the round's others.
        if (options.check && e.kind != WatchEvent::DOWN)
            pending.push_back(known);
        else
            print(known);
    }
    // What is left when the watch ends is told unchecked; the page says
    // the watch has ended.
    void watchEnded(const DeviceTable& up) override {
        for (const WatchEvent& e : pending) print(e);
        pending.clear();
        if (page) page->end(up, facts, Clock::now());
    }
    // The first write that fails ends the watch, as does a reader that went
    // away (its "| head" has read its lines).
    bool outputEnded() const { return !std::cout || standardOutputGone(); }
    void roundFailed(uint64_t round, SocketStep step, const FailureReason& why) override {
        std::cerr << "webfind: round " << round << ": " << failureMessage(step);
        if (!why.text.empty()) std::cerr << " (" << why.text << ")";
        std::cerr << "; trying again next round\n" << std::flush;
    }
    void roundEnded(uint64_t round, const RunReport& report, const DeviceTable& up) override {
        checkPending();
        const auto now = Clock::now();
        if (page) page->roundEnded(round, up, facts, now);
        if (metrics) metrics->write(up, facts, WatchCounts{round, now, report.rejected});
        noteLeftOut(report);
        explainSilence(report);
    }

private:
    bool keepsFacts() const { return page || metrics; }
    void print(const WatchEvent& e) {
        if (!std::cout) return;  // lost already; the watch is ending
        std::cout << eventLine(e, options.json, Clock::now()) << '\n';
        if (!options.json) writeDeviceDetails(std::cout, e.address, e.facts, options.longListing);
        std::cout << std::flush;
    }
    void checkPending() {
        if (pending.empty()) return;
        DeviceTable devices;
        for (const WatchEvent& e : pending) devices.add(e.address, e.name, e.url);
        FactsTable checked;
        checkPages(devices, checked, checkSettings());
        for (WatchEvent& e : pending) {
            e.facts.check = checked[e.address].check;
            if (keepsFacts() && facts.count(e.address)) facts[e.address].check = e.facts.check;
            print(e);
        }
        pending.clear();
    }
    void noteLeftOut(const RunReport& report) {
        if (report.leftOut == 0 || leftOutSaid) return;
        std::cerr << "webfind: more devices answered than a watch keeps (" << settings.maxDevices << " devices, "
                  << (settings.maxDeviceBytes >> 20) << " MiB of names and URLs); those are left out\n"
                  << std::flush;
        leftOutSaid = true;
    }
    // After a round with nothing up, the diagnosis; again only when it would
    // say something else, and looked at again at most once a minute.
    void explainSilence(const RunReport& report) {
        if (report.answered > 0) {
            lastLook = std::chrono::steady_clock::time_point();
            return;
        }
        const auto now = std::chrono::steady_clock::now();
        if (!explaining(options) || (lastLook.time_since_epoch().count() && now - lastLook < std::chrono::minutes(1)))
            return;
        lastLook = now;
        const std::string text = diagnoseNothingFound(contextOf(options, settings, report));
        if (text != lastSaid) std::cerr << text << std::flush;
        lastSaid = text;
    }

    const Options& options;
    const RunSettings& settings;
    LivePage* const page;
    MetricsFile* const metrics;
    HardwareLookup hardware;
    std::vector<WatchEvent> pending;
    FactsTable facts;  // of the devices up, for the page and the metrics
    std::chrono::steady_clock::time_point lastLook;
    std::string lastSaid;
    bool leftOutSaid = false;
};

}  // namespace

ExitStatus watchDevices(const Options& options, const RunSettings& settings) {
    WatchSettings watching;
    watching.interval = options.watchInterval;
    watching.duration = options.duration;
    catchStopRequests();
    watching.wake = stopWakeHandle();

    std::unique_ptr<MetricsFile> metrics;
    if (!options.metrics.empty()) {
        // A file that cannot be written at all is found out now, not after
        // the first round.
        metrics = std::make_unique<MetricsFile>(options.metrics);
        if (!metrics->write(DeviceTable(), FactsTable(), WatchCounts{0, Clock::now(), 0}))
            return ExitStatus::OUTPUT_FAILURE;
    }
    const Desktop desktop = systemDesktop();
    std::unique_ptr<LivePage> page;
    if (options.page) {
        const unsigned seconds =
            static_cast<unsigned>(std::chrono::duration_cast<std::chrono::seconds>(options.watchInterval).count());
        page = std::make_unique<LivePage>(desktop, !options.noOpen, seconds, std::cerr);
        if (!page->start(Clock::now())) page.reset();
    }

    EventPrinter printer(options, settings, page.get(), metrics.get());
    watching.stopRequested = [&printer] { return stopRequested() || printer.outputEnded(); };
    const RunReport report = watch(settings, watching, printer);
    return report.failed == SocketStep::NONE ? ExitStatus::DONE : failed(options, report);
}

}  // namespace webfind
