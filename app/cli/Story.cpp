#include "app/cli/Story.h"

#include <iostream>

#include "app/discovery/Interfaces.h"
#include "app/discovery/Targets.h"
#include "app/system/HostName.h"

namespace webfind {

bool settingsFor(const Options& options, RunSettings& settings, std::string& problem) {
    settings.session.localPort = options.port;
    settings.session.timings.quietWait = options.quietWait;
    settings.filter = DeviceFilter(options.patterns);
    settings.stopAtFirst = options.first;
    settings.session.rate = options.rate;
    const Resolver resolve = [](const std::string& name, std::vector<Address>& addresses) {
        std::vector<std::array<uint8_t, 4>> found;
        if (!addressesOf(name, found)) return false;
        for (const auto& bytes : found) addresses.push_back(Address{bytes});
        return true;
    };
    for (const std::string& target : options.targets)
        if (!addTargets(target, resolve, settings.session.targets, problem)) return false;
    if (options.verbose) settings.log = &std::cerr;
    // A watch follows its interfaces round after round: one not there yet
    // is waited for (tellWatch()); these are the ones there at its start.
    if (!chooseInterfaces(options.interfaces, options.allInterfaces, settings.session.interfaces, problem) &&
        !options.watch)
        return false;
    if (options.verbose && settings.session.interfaces.empty()) settings.session.routed = routedInterface();
    if (options.verbose && options.allInterfaces && !options.watch) {
        std::cerr << "webfind: probing through";
        for (const Link& i : settings.session.interfaces) std::cerr << ' ' << i.name;
        std::cerr << '\n';
    }
    return true;
}

bool explaining(const Options& options, const Telling& telling) { return options.verbose || telling.errIsTerminal; }

ExitStatus tellFailure(const Options& options, const RunSettings& settings, const RunReport& report,
                       const Telling& telling) {
    if (report.failedStep == SocketStep::STARTUP) return ExitStatus::ENVIRONMENT;
    std::ostream& out = options.json ? telling.err : telling.out;
    out << failureMessage(report.failedStep) << '\n' << std::flush;
    telling.err << explainFailure(report, settings.session.localPort) << std::flush;
    return ExitStatus::SOCKET_FAILURE;
}

DiagnosisContext contextOf(const Options& options, const RunSettings& settings, const RunReport& report) {
    return DiagnosisContext{report, settings.session.interfaces, options.allInterfaces, settings.session.localPort,
                            options.verbose};
}

}  // namespace webfind
