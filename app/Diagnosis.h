#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/HostFacts.h"
#include "app/Run.h"

namespace webfind {

// What the run did, as the diagnosis needs it.
struct DiagnosisContext {
    RunReport report;
    std::vector<ProbeInterface> probed;  // chosen with -i or -a; empty: routing chose
    bool allInterfaces = false;
    uint16_t port = 0;                   // the local port asked for; 0: system-chosen
    bool verbose = false;
};

// Why nothing answered: only the causes seen on this host, most likely
// first, each with what was seen and the exact next step; a short checklist
// when none is seen. Lines for standard error.
std::string explainNothingFound(const HostFacts& host, const DiagnosisContext& context);

// When the probe could not be sent because there is no route for multicast:
// one line saying so, suggesting -i. Empty otherwise.
std::string explainSendFailure(const HostFacts& host);

}  // namespace webfind
