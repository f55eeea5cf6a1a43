#include <cstdlib>
#include <iostream>

#include "app/cli/ExitStatus.h"
#include "app/cli/Options.h"
#include "app/cli/Reports.h"
#include "app/cli/Watching.h"
#include "app/desktop/Present.h"
#include "app/diagnosis/Diagnosis.h"
#include "app/discovery/Discovery.h"
#include "app/discovery/Interfaces.h"
#include "app/inspect/Check.h"
#include "app/inspect/Hardware.h"
#include "app/output/Listing.h"
#include "app/system/Console.h"
#include "app/system/ServiceManager.h"

namespace webfind {
namespace {

ExitStatus usage(const std::string& problem) {
    std::cerr << Priority::ERROR << "webfind: " << problem << " (see 'webfind --help')\n";
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
    // A watch follows its interfaces round after round: one not there yet
    // is waited for (watchDevices()); these are the ones there at its start.
    if (!chooseInterfaces(options.interfaces, options.allInterfaces, settings.session.interfaces, problem) &&
        !options.watch)
        return false;
    if (options.verbose && settings.session.interfaces.empty()) settings.session.routed = routedInterface();
    if (options.verbose && options.allInterfaces && !options.watch) {
        std::cerr << "webfind: probing through";
        for (const ProbeInterface& i : settings.session.interfaces) std::cerr << ' ' << i.name;
        std::cerr << '\n';
    }
    return true;
}

// When a person reads along: why nothing answered, or, when patterns left
// every device out, how many there were.
void explain(const Options& options, const RunSettings& settings, const RunReport& report, ExitStatus status) {
    if (!explaining(options) || report.failed != SocketStep::NONE) return;
    if (report.answered == 0) {
        std::cerr << diagnoseNothingFound(contextOf(options, settings, report)) << std::flush;
    } else if (status == ExitStatus::NO_MATCH && standardErrorIsTerminal()) {
        std::cerr << "webfind: no device matched; " << report.answered
                  << (report.answered == 1 ? " device answered" : " devices answered")
                  << " (webfind -n without patterns lists them all)\n"
                  << std::flush;
    }
}

// Devices on this host's links whose MAC address is not known yet, and how
// to learn it.
void noteMissingNeighbours(const FactsTable& facts) {
    std::string missing;
    size_t count = 0;
    for (const auto& f : facts)
        if (f.second.notInNeighbours && count++ < 5) missing += (missing.empty() ? "" : ", ") + f.first.text();
    if (count == 0) return;
    std::cerr << "webfind: " << (count == 1 ? "1 device" : std::to_string(count) + " devices") << " on this host's links "
              << (count == 1 ? "is" : "are") << " not in the neighbour table yet (" << missing << (count > 5 ? ", ..." : "")
              << "): no MAC address or vendor for " << (count == 1 ? "it" : "them")
              << "; any packet to a device puts it there, such as the request webfind --check sends\n";
}

// What else is known of the devices found: their hardware from the
// neighbour table (no packet sent), and with --check, their pages.
FactsTable inspect(const Options& options, const DeviceTable& devices) {
    FactsTable facts;
    const auto onLink = directlyConnected();
    addHardware(devices, facts, onLink);
    if (options.check) {
        checkPages(devices, facts, checkSettings());
        // Its requests put the devices on this host's links in the table.
        addHardware(devices, facts, onLink);
    }
    if (options.verbose) noteMissingNeighbours(facts);
    return facts;
}

// Shows what a run found: the listing (opening each URL, or one page, on a
// desktop) or the JSON array.
ExitStatus present(const Options& options, const DeviceTable& devices, const FactsTable& facts) {
    if (options.json) {
        writeJson(std::cout, devices, &facts);
    } else {
        Desktop desktop = systemDesktop();
        listDevices(devices, std::cout, std::cerr, options.open ? &desktop : nullptr, options.page, &facts,
                    options.longListing);
    }
    return ExitStatus::DONE;
}

ExitStatus runTool(int argc, char** argv) {
    const Options options = parseOptions(argc, argv, std::getenv("WEBFIND_PORT"));
    switch (options.action) {
    case Options::HELP: std::cout << HELP_TEXT; return ExitStatus::DONE;
    case Options::VERSION: std::cout << "webfind " WEBFIND_VERSION "\n"; return ExitStatus::DONE;
    case Options::USAGE_ERROR: return usage(options.problem);
    case Options::RUN: break;
    }
    for (const std::string& note : options.notes) std::cerr << "webfind: " << note << '\n';
    RunSettings settings;
    std::string problem;
    if (!settingsFor(options, settings, problem)) return usage(problem);
    if (options.watch) return watchDevices(options, settings);

    // The socket stays open until the devices are listed.
    Discovery discovery(settings);
    const RunResult found = discovery.run();
    if (found.failed()) return failed(options, settings, found.report);
    // Patterns and --first ask for particular devices: none found is a
    // result of its own, with nothing on standard output but, for a
    // script that reads JSON, the empty array.
    ExitStatus status = ExitStatus::NO_MATCH;
    if (!found.devices.empty() || !(settings.filter.selective() || settings.stopAtFirst))
        status = present(options, found.devices, inspect(options, found.devices));
    else if (options.json)
        writeJson(std::cout, found.devices);
    if (found.report.leftOut > 0)
        std::cerr << leftOutNote(found.report.leftOut, found.report.leftOutAtLeast, settings.limits, false) << std::flush;
    explain(options, settings, found.report, status);
    return status;
}

// Runs the tool, then makes sure that what it wrote to standard output got
// there. A run that failed already keeps its own status.
int main(int argc, char** argv) {
    prepareStandardStreams();
    detectJournal();
    ExitStatus status = runTool(argc, argv);
    std::string why;
    if (!standardOutputDelivered(why)) {
        std::cerr << Priority::ERROR << "webfind: could not write to standard output: " << why << '\n' << std::flush;
        if (status == ExitStatus::DONE) status = ExitStatus::OUTPUT_FAILURE;
    }
    return static_cast<int>(status);
}

}  // namespace
}  // namespace webfind

int main(int argc, char** argv) { return webfind::main(argc, argv); }
