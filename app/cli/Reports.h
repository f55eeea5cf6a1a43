#pragma once

#include "app/cli/ExitStatus.h"
#include "app/cli/Options.h"
#include "app/diagnosis/Diagnosis.h"
#include "app/discovery/Discovery.h"

namespace webfind {

// What a run and a watch tell alike.

// A person reads standard error, or asked for its notes.
bool explaining(const Options& options);

// A failed socket step: its line where the run has always written it
// (standard output, which with --json carries only JSON: then standard
// error), and why, on standard error. The socket layer that could not start
// has written its own line.
ExitStatus failed(const Options& options, const RunSettings& settings, const RunReport& report);

DiagnosisContext contextOf(const Options& options, const RunSettings& settings, const RunReport& report);

}  // namespace webfind
