#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/diagnosis/Rules.h"
#include "app/discovery/Discovery.h"

namespace webfind {

// The entry of the diagnosis: what callers ask, with this host's facts
// gathered for them (the rules themselves are in Rules.h).

// Why nothing answered, from this host's facts: lines for standard error.
std::string diagnoseNothingFound(const DiagnosisContext& context);

// Why a socket step failed, in one line for standard error, with what to do
// where that is known (no route: which interface to name; a port in use:
// who holds it). `port` is the local port asked for, 0 when none was.
std::string explainFailure(const RunReport& report, uint16_t port);

}  // namespace webfind
