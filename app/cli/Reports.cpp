#include "app/cli/Reports.h"

#include <iostream>

#include "app/system/Console.h"

namespace webfind {

bool explaining(const Options& options) { return options.verbose || standardErrorIsTerminal(); }

ExitStatus failed(const Options& options, const RunSettings& settings, const RunReport& report) {
    if (report.failed == SocketStep::STARTUP) return ExitStatus::ENVIRONMENT;
    std::ostream& out = options.json ? std::cerr : std::cout;
    out << failureMessage(report.failed) << '\n' << std::flush;
    std::cerr << explainFailure(report, settings.session.localPort) << std::flush;
    return ExitStatus::SOCKET_FAILURE;
}

DiagnosisContext contextOf(const Options& options, const RunSettings& settings, const RunReport& report) {
    return DiagnosisContext{report, settings.session.interfaces, options.allInterfaces, settings.session.localPort,
                            options.verbose};
}

}  // namespace webfind
