#pragma once

#include <string>

#include "app/diagnosis/Diagnose.h"
#include "app/diagnosis/HostFacts.h"

namespace webfind {

// The rules of the diagnosis, on facts gathered or made up.


// Why nothing answered: only the causes seen on this host, most likely
// first, each with what was seen and the exact next step; a short checklist
// when none is seen. Lines for standard error.
std::string explainNothingFound(const HostFacts& host, const DiagnosisContext& context);

// When the probe could not be sent because there is no route for multicast:
// a sentence saying so, suggesting -i. Empty otherwise.
std::string explainNoRoute(const HostFacts& host);

}  // namespace webfind
