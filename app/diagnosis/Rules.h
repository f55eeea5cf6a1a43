#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/diagnosis/HostFacts.h"
#include "app/discovery/Discovery.h"

namespace webfind {

// What a run did, as the diagnosis of its outcome needs it.
struct DiagnosisContext {
    RunReport report;
    std::vector<Link> probed;  // chosen with -i or -a; empty: routing chose
    bool allInterfaces = false;
    uint16_t port = 0;  // the local port asked for; 0: system-chosen
    bool verbose = false;
};

// The rules of the diagnosis, on facts gathered (Diagnosis.h, the entry,
// gathers them) or made up (the tests).

// Why nothing answered: only the causes seen on this host, most likely
// first, each with what was seen and the exact next step; a short checklist
// when none is seen. Lines for standard error.
std::string explainNothingFound(const HostFacts& host, const DiagnosisContext& context);

// When the probe could not be sent because there is no route for multicast:
// a sentence saying so, suggesting -i. Empty otherwise.
std::string explainNoRoute(const HostFacts& host);

}  // namespace webfind
