#pragma once

#include <iosfwd>

#include "app/cli/ExitStatus.h"
#include "app/cli/Options.h"
#include "app/desktop/Desktop.h"
#include "app/diagnosis/Diagnosis.h"
#include "app/discovery/Discovery.h"

namespace webfind {

// What the stories of a run and of a watch share: where they are told, and
// what both tell alike.

struct Telling {
    std::ostream& out;
    std::ostream& err;
    bool errIsTerminal;      // a person reads standard error
    const Desktop* desktop;  // where URLs and pages open
};

// The run's settings as the options ask for them. False, with the problem,
// for an interface that is not there (a watch waits for it instead).
bool settingsFor(const Options& options, RunSettings& settings, std::string& problem);

// A person reads standard error, or asked for its notes.
bool explaining(const Options& options, const Telling& telling);

// The run or watch ended on a failed socket step: its line where the run has
// always written it (standard output, which with --json carries only JSON:
// then standard error), and why, on standard error. The socket layer that
// could not start has written its own line.
ExitStatus tellFailure(const Options& options, const RunSettings& settings, const RunReport& report,
                       const Telling& telling);

DiagnosisContext contextOf(const Options& options, const RunSettings& settings, const RunReport& report);

}  // namespace webfind
