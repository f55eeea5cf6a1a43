#include "app/diagnosis/HostFacts.h"

#include "app/wire/Messages.h"

namespace webfind {

void gatherNetworkFacts(HostFacts& facts) {
    const BRIVO::Platform& os = BRIVO::platform();
    facts.interfaces = os.localInterfaces();
    facts.multicastRoute = os.routeSource(discoveryGroupV4(), facts.probeSource) == 0;
}

}  // namespace webfind
