#include <chrono>
#include <cstdlib>
#include <iostream>

#include "app/cli/ExitStatus.h"
#include "app/cli/Options.h"
#include "app/desktop/Console.h"
#include "app/desktop/Opener.h"
#include "app/desktop/PageFile.h"
#include "app/desktop/Present.h"
#include "app/diagnosis/Diagnose.h"
#include "app/discovery/Interfaces.h"
#include "app/discovery/Run.h"
#include "app/discovery/Watch.h"
#include "app/output/Events.h"
#include "app/output/Listing.h"

namespace webfind {
namespace {

ExitStatus usage(const std::string& problem) {
    std::cerr << "webfind: " << problem << " (see 'webfind --help')\n";
    return ExitStatus::USAGE;
}

// What the options ask of a run or a watch. False, with the problem, for an
// interface that is not there.
bool settingsFor(const Options& options, RunSettings& settings, std::string& problem) {
    settings.session.localPort = options.port;
    settings.session.timings.quietWait = options.quietWait;
    settings.filter = DeviceFilter(options.patterns);
    settings.stopAtFirst = options.first;
    if (options.verbose) settings.log = &std::cerr;
    if (!chooseInterfaces(options.interfaces, options.allInterfaces, settings.session.interfaces, problem))
        return false;
    if (options.verbose && options.allInterfaces) {
        std::cerr << "webfind: probing through";
        for (const ProbeInterface& i : settings.session.interfaces) std::cerr << ' ' << i.name;
        std::cerr << '\n';
    }
    return true;
}

// A failed socket step: its line on standard output, as the run has always
// reported it; the socket layer that could not start has written its own.
ExitStatus failed(SocketStep step) {
    if (step == SocketStep::STARTUP) return ExitStatus::ENVIRONMENT;
    std::cout << failureMessage(step) << '\n' << std::flush;
    return ExitStatus::SOCKET_FAILURE;
}

// Explains, on standard error, a failure to bind a chosen port, a probe
// that could not be sent for want of a route, and an empty result.
void explain(const Options& options, const RunSettings& settings, const RunReport& report) {
    if (report.failed == SocketStep::BIND && options.port)
        std::cerr << "webfind: could not bind local UDP port " << options.port
                  << ": another program may be using it, or it needs privileges (ports below 1024)\n";
    const bool wanted = options.verbose || standardErrorIsTerminal();
    if (!wanted) return;
    if (report.failed == SocketStep::SEND) {
        std::cerr << diagnoseSendFailure();
    } else if (report.failed == SocketStep::NONE && report.answered == 0) {
        std::cerr << diagnoseNothingFound(
            DiagnosisContext{report, settings.session.interfaces, options.allInterfaces, options.port, options.verbose});
    }
    std::cerr << std::flush;
}

// Shows what a run found: the listing (opening each URL, or one page, on a
// desktop) or the JSON array. Patterns and --first ask for particular
// devices: none found is a result of its own, with nothing on standard
// output.
ExitStatus present(const Options& options, const RunSettings& settings, const DeviceTable& devices) {
    if (devices.empty() && (settings.filter.selective() || settings.stopAtFirst)) return ExitStatus::NO_MATCH;
    if (options.json) {
        writeJson(std::cout, devices);
    } else {
        Desktop desktop{desktopAvailable, openUrl, savePage};
        listDevices(devices, std::cout, std::cerr, options.open ? &desktop : nullptr, options.page);
    }
    return ExitStatus::DONE;
}

// Watch mode: events on standard output as they happen, one flushed line
// each, until the duration passes or a stop is asked for.
class EventPrinter : public WatchObserver {
public:
    explicit EventPrinter(bool json) : json(json) {}
    void event(const WatchEvent& e) override {
        std::cout << eventLine(e, json, std::chrono::system_clock::now()) << '\n' << std::flush;
    }
    void roundFailed(uint64_t round, SocketStep step) override {
        std::cerr << "webfind: round " << round << ": " << failureMessage(step) << "; trying again next round\n"
                  << std::flush;
    }

private:
    bool json;
};

ExitStatus watchDevices(const Options& options, const RunSettings& settings) {
    WatchSettings watching;
    watching.interval = options.watchInterval;
    watching.duration = options.duration;
    watching.stopRequested = stopRequested;
    catchStopRequests();
    EventPrinter printer(options.json);
    SocketStep failure = watch(settings, watching, printer);
    return failure == SocketStep::NONE ? ExitStatus::DONE : failed(failure);
}

ExitStatus runTool(int argc, char** argv) {
    const Options options = parseOptions(argc, argv, std::getenv("WEBFIND_PORT"));
    switch (options.action) {
    case Options::HELP: std::cout << HELP_TEXT; return ExitStatus::DONE;
    case Options::VERSION: std::cout << "webfind " WEBFIND_VERSION "\n"; return ExitStatus::DONE;
    case Options::USAGE_ERROR: return usage(options.problem);
    case Options::RUN: break;
    }
    RunSettings settings;
    std::string problem;
    if (!settingsFor(options, settings, problem)) return usage(problem);
    if (options.watch) return watchDevices(options, settings);

    // The socket stays open until the devices are listed.
    Discovery discovery(settings);
    const RunResult found = discovery.run();
    const ExitStatus status =
        found.failed() ? failed(found.report.failed) : present(options, settings, found.devices);
    explain(options, settings, found.report);
    return status;
}

// Runs the tool, then makes sure that what it wrote to standard output got
// there. A run that failed already keeps its own status.
int main(int argc, char** argv) {
    prepareStandardStreams();
    ExitStatus status = runTool(argc, argv);
    std::string why;
    if (!standardOutputDelivered(why)) {
        std::cerr << "webfind: could not write to standard output: " << why << '\n' << std::flush;
        if (status == ExitStatus::DONE) status = ExitStatus::OUTPUT_FAILURE;
    }
    return static_cast<int>(status);
}

}  // namespace
}  // namespace webfind

int main(int argc, char** argv) { return webfind::main(argc, argv); }
