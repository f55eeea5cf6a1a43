#include "app/cli/Watching.h"

#include <chrono>
#include <iostream>
#include <memory>
#include <mutex>
#include <vector>

#include "app/base/Text.h"
#include "app/cli/Reports.h"
#include "app/desktop/Console.h"
#include "app/desktop/LivePage.h"
#include "app/desktop/Present.h"
#include "app/discovery/Interfaces.h"
#include "app/discovery/Watch.h"
#include "app/inspect/BackgroundChecks.h"
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

// Everything a watch tells, from the watch's own thread and from the
// thread that checks pages: each line whole, and the facts the page and the
// metrics are written from, under one lock.
class EventPrinter : public WatchObserver {
public:
    EventPrinter(const Options& options, const RunSettings& settings, LivePage* page, MetricsFile* metrics)
        : options(options), settings(settings), page(page), metrics(metrics) {
        // With --check, each device that comes up or changes has its page
        // checked on a thread of its own: the rounds and their events never
        // wait for it, and its verdict follows as an event of its own.
        if (options.check) {
            CheckSettings checking = checkSettings();
            checking.stopRequested = stopRequested;
            checks = std::make_unique<BackgroundChecks>(
                checking, [this](const Address& a, const std::string& url, const PageCheck& c) { checked(a, url, c); });
        }
    }

    void event(const WatchEvent& e) override {
        WatchEvent known = e;
        if (e.kind != WatchEvent::DOWN) hardware.add(known.address, known.facts);
        {
            std::lock_guard<std::mutex> held(lock);
            // The page and the metrics say what is known of each device up.
            if (keepsFacts()) {
                if (e.kind == WatchEvent::DOWN)
                    facts.erase(e.address);
                else
                    facts[e.address] = known.facts;
            }
            if (page) page->event(e, Clock::now());
            print(known);
        }
        if (checks && e.kind != WatchEvent::DOWN) checks->add(e.address, e.url);
    }
    // Checks still on their way are dropped; the page says the watch has
    // ended.
    void watchEnded(const DeviceTable& up) override {
        if (checks) checks->stop();
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
        hardware.roundEnded();
        const auto now = Clock::now();
        {
            std::lock_guard<std::mutex> held(lock);
            if (page) page->roundEnded(round, up, facts, now);
            if (metrics) metrics->write(up, facts, WatchCounts{round, now, report.rejected});
        }
        noteLeftOut(report);
        explainSilence(report);
    }

private:
    bool keepsFacts() const { return page || metrics; }
    // Under the lock.
    void print(const WatchEvent& e) {
        if (!std::cout) return;  // lost already; the watch is ending
        std::cout << eventLine(e, options.json, Clock::now()) << '\n';
        if (!options.json) writeDeviceDetails(std::cout, e.address, e.facts, options.longListing);
        std::cout << std::flush;
    }
    // On the checking thread.
    void checked(const Address& address, const std::string& url, const PageCheck& check) {
        std::lock_guard<std::mutex> held(lock);
        auto known = facts.find(address);
        if (known != facts.end()) known->second.check = check;
        if (std::cout) std::cout << checkedLine(address, url, check, options.json, Clock::now()) << '\n' << std::flush;
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
    HardwareLookup hardware{neighbourTable, IEEE_REGISTRY, directlyConnected()};
    std::mutex lock;
    FactsTable facts;  // of the devices up, for the page and the metrics
    std::chrono::steady_clock::time_point lastLook;
    std::string lastSaid;
    bool leftOutSaid = false;
    // Last: stopped (in watchEnded, or as it goes) before what it calls back into.
    std::unique_ptr<BackgroundChecks> checks;
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
        // Only a file of its own is ever replaced: never a device, a FIFO,
        // a directory or a link, whatever a service's configuration says.
        std::string why;
        if (!replaceable(options.metrics, why)) {
            std::cerr << "webfind: --metrics: " << escapeForTerminal(why) << '\n';
            return ExitStatus::USAGE;
        }
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
