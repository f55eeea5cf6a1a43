#pragma once

#include <string>
#include <vector>

#include "Network/Platform.h"
#include "app/diagnosis/HostFacts.h"

namespace webfind {

// The diagnosis as an announcer needs it: whether this host lets finders'
// probes in (to the discovery group and port, from each link's own subnet)
// on the interfaces it answers on, by the same readers, walk and advice as
// webfind's own. Lines for standard error: for each cause, one line that
// says what drops the probes and where, then "     Next: " and "     Keep: "
// lines as webfind writes them; empty when nothing stops them.
std::string explainProbesBlocked(const HostFacts& host, const std::vector<BRIVO::LocalInterface>& links);

// The same on this host's own facts, gathered now.
std::string checkProbesAdmitted(const std::vector<BRIVO::LocalInterface>& links);

}  // namespace webfind
