#include "app/diagnosis/HostFacts.h"

#include "app/wire/Messages.h"

namespace webfind {

void gatherNetworkFacts(HostFacts& facts) {
    const BRIVO::Platform& os = BRIVO::platform();
    facts.interfaces = os.localInterfaces();
    BRIVO::AddressV4 group{{static_cast<uint8_t>(DISCOVERY_PORT >> 8), static_cast<uint8_t>(DISCOVERY_PORT & 0xFF)},
                           {DISCOVERY_GROUP.address[12], DISCOVERY_GROUP.address[13], DISCOVERY_GROUP.address[14],
                            DISCOVERY_GROUP.address[15]}};
    facts.multicastRoute = os.routeSource(group, facts.probeSource) == 0;
}

}  // namespace webfind
