// Host facts on Windows: the interfaces and the route. Windows' own firewall
// is not read; the diagnosis names it in general.

#include "app/diagnosis/HostFacts.h"

namespace webfind {

HostFacts gatherHostFacts() {
    HostFacts facts;
    gatherNetworkFacts(facts);
    facts.windows = true;
    return facts;
}

}  // namespace webfind
