#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/discovery/Run.h"

namespace webfind {

// What a run did, as the diagnosis of its outcome needs it.
struct DiagnosisContext {
    RunReport report;
    std::vector<ProbeInterface> probed;  // chosen with -i or -a; empty: routing chose
    bool allInterfaces = false;
    uint16_t port = 0;                   // the local port asked for; 0: system-chosen
    bool verbose = false;
};

// Why nothing answered, from this host's facts: lines for standard error.
std::string diagnoseNothingFound(const DiagnosisContext& context);

// Why a socket step failed, in one line for standard error, with what to do
// where that is known (no route: which interface to name; a port in use:
// who holds it). `port` is the local port asked for, 0 when none was.
std::string explainFailure(const RunReport& report, uint16_t port);

}  // namespace webfind
