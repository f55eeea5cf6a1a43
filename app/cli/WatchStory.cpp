#include "app/cli/WatchStory.h"

#include <chrono>
#include <iostream>
#include <memory>

#include "app/base/Text.h"
#include "app/discovery/Interfaces.h"
#include "app/system/Console.h"
#include "app/system/Files.h"
#include "app/system/ServiceManager.h"
#include "app/watch/WatchReporter.h"
#include "app/watch/Heartbeat.h"

namespace webfind {

ExitStatus tellWatch(const Options& options, const RunSettings& settings, const Telling& telling) {
    WatchSettings watching;
    watching.interval = options.watchInterval;
    watching.duration = options.duration;
    watching.interfaces = options.interfaces;
    watching.allInterfaces = options.allInterfaces;
    catchStopRequests();
    watching.wake = stopWakeHandle();
    const auto now = std::chrono::system_clock::now();

    std::unique_ptr<MetricsFile> metrics;
    if (!options.metrics.empty()) {
        // Only a file of its own is ever replaced: never a device, a FIFO,
        // a directory or a link, whatever a service's configuration says.
        std::string why;
        if (!replaceable(options.metrics, why)) {
            telling.err << Priority::ERROR << "webfind: --metrics: " << escapeForTerminal(why) << '\n';
            return ExitStatus::USAGE;
        }
        // A file that cannot be written at all is found out now, not after
        // the first round.
        metrics = std::make_unique<MetricsFile>(options.metrics, telling.err);
        if (!metrics->write(DeviceTable(), FactsTable(), WatchCounts{0, now, 0})) return ExitStatus::OUTPUT_FAILURE;
    }
    std::unique_ptr<LivePage> page;
    if (options.page) {
        const unsigned seconds =
            static_cast<unsigned>(std::chrono::duration_cast<std::chrono::seconds>(options.watchInterval).count());
        page = std::make_unique<LivePage>(*telling.desktop, !options.noOpen, seconds, telling.err);
        if (!page->start(now)) page.reset();
    }

    WatchReporting reporting;
    reporting.json = options.json;
    reporting.longListing = options.longListing;
    reporting.explain = explaining(options, telling);
    reporting.limits = settings.limits;
    if (options.check) {
        reporting.check = checkSettings();
        reporting.check->stopRequested = stopRequested;
    }
    WatchReporter printer(
        reporting, telling.out, telling.err,
        [&](const RunReport& report) { return diagnoseNothingFound(contextOf(options, settings, report)); }, page.get(),
        metrics.get(), HardwareLookup(neighbourTable, IEEE_REGISTRY, directlyConnected(), vendorIndexPath()));
    // The first write that fails ends the watch, as does a reader that went
    // away (its "| head" has read its lines).
    watching.stopRequested = [&] { return stopRequested() || !telling.out || standardOutputGone(); };
    // Under systemd: ready after the first round, alive after each.
    const ServiceManager manager;
    Heartbeat heartbeat(printer, manager, options.watchInterval);
    const RunReport report = watch(settings, watching, heartbeat);
    return report.failedStep == SocketStep::NONE ? ExitStatus::DONE : tellFailure(options, settings, report, telling);
}

}  // namespace webfind
