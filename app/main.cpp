#include <cstdlib>
#include <iostream>

#include "Network/Err.h"
#include "app/Console.h"
#include "app/Diagnosis.h"
#include "app/HostFacts.h"
#include "app/Opener.h"
#include "app/Options.h"
#include "app/PageFile.h"
#include "app/Patterns.h"
#include "app/Present.h"
#include "app/Run.h"
#include "app/Watch.h"

namespace webfind {
namespace {

// Patterns were given (or --first), and no device matched: as grep does.
constexpr int EXIT_NO_MATCH = 1;
constexpr int EXIT_USAGE = 2;
// Status when the socket layer cannot be started: an Err left the run.
constexpr int EXIT_ENVIRONMENT = 3;
// Status when the listing (or any other output) could not be written: a
// caller must not take a lost listing for an empty one.
constexpr int EXIT_OUTPUT_FAILURE = 4;

int usage(const std::string& problem) {
    std::cerr << "webfind: " << problem << " (see 'webfind --help')\n";
    return EXIT_USAGE;
}

}  // namespace

// Explains, on standard error, a failure to bind a chosen port, a probe
// that could not be sent for want of a route, and an empty result.
void explain(const Options& options, const RunSettings& settings, const RunReport& report, int status) {
    if (report.failed == RunReport::BIND && settings.localPort)
        std::cerr << "webfind: could not bind local UDP port " << settings.localPort
                  << ": another program may be using it, or it needs privileges (ports below 1024)\n";
    const bool wanted = options.verbose || standardErrorIsTerminal();
    if (!wanted) return;
    if (report.failed == RunReport::SEND) {
        std::cerr << explainSendFailure(gatherHostFacts());
    } else if (status == EXIT_DONE && report.devices == 0) {
        DiagnosisContext context{report, settings.interfaces, options.allInterfaces, settings.localPort, options.verbose};
        std::cerr << explainNothingFound(gatherHostFacts(), context);
    }
    std::cerr << std::flush;
}

// Watch mode: events on standard output as they happen, one flushed line
// each, until the duration passes or a stop is asked for.
int watch(const Options& options, const RunSettings& settings) {
    WatchSettings watching;
    watching.interval = options.watchInterval;
    watching.duration = options.duration;
    watching.stopRequested = stopRequested;
    catchStopRequests();
    return runWatch(settings, watching, std::cout, std::cerr, [&](const WatchEvent& event) {
        std::cout << eventLine(event, options.json, std::chrono::system_clock::now()) << '\n' << std::flush;
    });
}

int runTool(int argc, char** argv) {
    Options options = parseOptions(argc, argv, std::getenv("WEBFIND_PORT"));
    switch (options.action) {
    case Options::HELP: std::cout << HELP_TEXT; return 0;
    case Options::VERSION: std::cout << "webfind " WEBFIND_VERSION "\n"; return 0;
    case Options::USAGE_ERROR: return usage(options.problem);
    case Options::RUN: break;
    }

    RunSettings settings;
    settings.localPort = options.port;
    settings.quietWait = options.quietWait;
    settings.patterns = options.patterns;
    settings.stopAtFirst = options.first;
    if (options.verbose) settings.log = &std::cerr;
    std::string problem;
    if (!chooseInterfaces(options, BRIVO::platform().localInterfaces(), settings.interfaces, problem)) return usage(problem);
    if (options.verbose && options.allInterfaces) {
        std::cerr << "webfind: probing through";
        for (const ProbeInterface& i : settings.interfaces) std::cerr << ' ' << i.name;
        std::cerr << '\n';
    }

    // Patterns and --first ask for particular devices: none found is a
    // result of its own, with nothing on standard output.
    const bool selective = !options.patterns.empty() || options.first;
    bool anyShown = false;
    Desktop desktop{desktopAvailable, openUrl, savePage};
    Presenter present = [&](const DeviceTable& found) {
        DeviceTable shown = matching(found, options.patterns);
        anyShown = !shown.empty();
        if (selective && !anyShown) return;
        if (options.json)
            printJson(shown, std::cout);
        else
            listDevices(shown, std::cout, std::cerr, options.open ? &desktop : nullptr, options.page);
    };
    try {
        if (options.watch) return watch(options, settings);
        RunReport report;
        int status = runDiscovery(settings, std::cout, present, &report);
        explain(options, settings, report, status);
        if (status == EXIT_DONE && selective && !anyShown) return EXIT_NO_MATCH;
        return status;
    } catch (const BRIVO::Err&) {
        // The assertion line is already written; the run's objects have been
        // destroyed on the way out.
        return EXIT_ENVIRONMENT;
    }
}

// Runs the tool, then makes sure that what it wrote to standard output got
// there. A run that failed already keeps its own status.
int main(int argc, char** argv) {
    prepareStandardStreams();
    int status = runTool(argc, argv);
    std::string why;
    if (!standardOutputDelivered(why)) {
        std::cerr << "webfind: could not write to standard output: " << why << '\n' << std::flush;
        if (status == EXIT_DONE) status = EXIT_OUTPUT_FAILURE;
    }
    return status;
}

}  // namespace webfind

int main(int argc, char** argv) { return webfind::main(argc, argv); }
