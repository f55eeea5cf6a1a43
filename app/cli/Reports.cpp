#include "app/cli/Reports.h"

#include <iostream>

#include "app/desktop/Console.h"
#include "app/discovery/Settings.h"

namespace webfind {

CheckSettings checkSettings() {
    CheckSettings settings;
    settings.userAgent = "webfind/" WEBFIND_VERSION;
    return settings;
}

bool explaining(const Options& options) { return options.verbose || standardErrorIsTerminal(); }

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

}  // namespace webfind
