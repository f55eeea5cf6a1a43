#include <chrono>
#include <cstdlib>
#include <iostream>
#include <vector>

#include "app/cli/ExitStatus.h"
#include "app/cli/Options.h"
#include "app/desktop/Console.h"
#include "app/desktop/Present.h"
#include "app/diagnosis/Diagnose.h"
#include "app/discovery/Interfaces.h"
#include "app/discovery/Run.h"
#include "app/discovery/Watch.h"
#include "app/inspect/Check.h"
#include "app/inspect/Hardware.h"
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
    if (options.verbose && settings.session.interfaces.empty()) settings.session.routed = routedInterface();
    if (options.verbose && options.allInterfaces) {
        std::cerr << "webfind: probing through";
        for (const ProbeInterface& i : settings.session.interfaces) std::cerr << ' ' << i.name;
        std::cerr << '\n';
    }
    return true;
}

CheckSettings checkSettings() {
    CheckSettings settings;
    settings.userAgent = "webfind/" WEBFIND_VERSION;
    return settings;
}

// A person reads standard error, or asked for its notes.
bool explaining(const Options& options) { return options.verbose || standardErrorIsTerminal(); }

// A failed socket step: its line where the run has always written it
// (standard output, which with --json carries only JSON: then standard
// error), and why, on standard error. The socket layer that could not start
// has written its own line.
ExitStatus failed(const Options& options, const RunReport& report) {
    if (report.failed == SocketStep::STARTUP) return ExitStatus::ENVIRONMENT;
    std::ostream& out = options.json ? std::cerr : std::cout;
    out << failureMessage(report.failed) << '\n' << std::flush;
    std::cerr << explainFailure(report, options.port) << std::flush;
    return ExitStatus::SOCKET_FAILURE;
}

DiagnosisContext contextOf(const Options& options, const RunSettings& settings, const RunReport& report) {
    return DiagnosisContext{report, settings.session.interfaces, options.allInterfaces, options.port, options.verbose};
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

// Shows what a run found: the listing (opening each URL, or one page, on a
// desktop) or the JSON array. Patterns and --first ask for particular
// devices: none found is a result of its own, with nothing on standard
// output.
ExitStatus present(const Options& options, const RunSettings& settings, const DeviceTable& devices) {
    if (devices.empty() && (settings.filter.selective() || settings.stopAtFirst)) return ExitStatus::NO_MATCH;
    // What else is known of them: their hardware from the neighbour table
    // (no packet sent), and with --check, their pages.
    FactsTable facts;
    addHardware(devices, facts);
    if (options.check) checkPages(devices, facts, checkSettings());
    if (options.json) {
        writeJson(std::cout, devices, &facts);
    } else {
        Desktop desktop = systemDesktop();
        listDevices(devices, std::cout, std::cerr, options.open ? &desktop : nullptr, options.page, &facts,
                    options.longListing);
    }
    return ExitStatus::DONE;
}

// Watch mode: events on standard output as they happen, one flushed line
// each, until the duration passes or a stop is asked for; notes on standard
// error, and, when a person reads it, why nothing answers.
class EventPrinter : public WatchObserver {
public:
    EventPrinter(const Options& options, const RunSettings& settings) : options(options), settings(settings) {}

    void event(const WatchEvent& e) override {
        WatchEvent known = e;
        if (e.kind != WatchEvent::DOWN) addHardware(known.address, known.facts);
        // With --check, a device that came up or changed is told at the end
        // of its round, its page checked with the round's others.
        if (options.check && e.kind != WatchEvent::DOWN)
            pending.push_back(known);
        else
            print(known);
    }
    // What is left when the watch ends, told unchecked.
    void finish() {
        for (const WatchEvent& e : pending) print(e);
        pending.clear();
    }
    // The first write that fails ends the watch, as does a reader that went
    // away (its "| head" has read its lines).
    bool outputEnded() const { return !std::cout || standardOutputGone(); }
    void roundFailed(uint64_t round, SocketStep step, const FailureReason& why) override {
        std::cerr << "webfind: round " << round << ": " << failureMessage(step);
        if (!why.text.empty()) std::cerr << " (" << why.text << ")";
        std::cerr << "; trying again next round\n" << std::flush;
    }
    // After a round with nothing up, the diagnosis; again only when it would
    // say something else, and looked at again at most once a minute.
    void roundEnded(uint64_t, const RunReport& report) override {
        checkPending();
        if (report.leftOut > 0 && !leftOutSaid) {
            std::cerr << "webfind: more devices answered than a watch keeps (" << settings.maxDevices
                      << " devices, " << (settings.maxDeviceBytes >> 20)
                      << " MiB of names and URLs); those are left out\n"
                      << std::flush;
            leftOutSaid = true;
        }
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

private:
    void print(const WatchEvent& e) {
        if (!std::cout) return;  // lost already; the watch is ending
        std::cout << eventLine(e, options.json, std::chrono::system_clock::now()) << '\n';
        if (!options.json) writeDeviceDetails(std::cout, e.address, e.facts, options.longListing);
        std::cout << std::flush;
    }
    void checkPending() {
        if (pending.empty()) return;
        DeviceTable devices;
        for (const WatchEvent& e : pending) devices.add(e.address, e.name, e.url);
        FactsTable facts;
        checkPages(devices, facts, checkSettings());
        for (WatchEvent& e : pending) {
            e.facts.check = facts[e.address].check;
            print(e);
        }
        pending.clear();
    }

    const Options& options;
    const RunSettings& settings;
    std::vector<WatchEvent> pending;
    std::chrono::steady_clock::time_point lastLook;
    std::string lastSaid;
    bool leftOutSaid = false;
};

ExitStatus watchDevices(const Options& options, const RunSettings& settings) {
    WatchSettings watching;
    watching.interval = options.watchInterval;
    watching.duration = options.duration;
    catchStopRequests();
    watching.wake = stopWakeHandle();
    EventPrinter printer(options, settings);
    watching.stopRequested = [&printer] { return stopRequested() || printer.outputEnded(); };
    const RunReport report = watch(settings, watching, printer);
    printer.finish();
    return report.failed == SocketStep::NONE ? ExitStatus::DONE : failed(options, report);
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
    if (found.failed()) return failed(options, found.report);
    const ExitStatus status = present(options, settings, found.devices);
    if (found.report.leftOut > 0)
        std::cerr << "webfind: " << (found.report.leftOutAtLeast ? "at least " : "") << found.report.leftOut
                  << " more devices answered than a run keeps (" << settings.maxDevices << " devices, "
                  << (settings.maxDeviceBytes >> 20) << " MiB of names and URLs); they are not listed\n"
                  << std::flush;
    explain(options, settings, found.report, status);
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
