#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Network/Platform.h"
#include "app/diagnosis/Firewall.h"

namespace webfind {

struct WslFacts {
    bool wsl2 = false;
    std::string networkingMode;  // "nat", "mirrored", ...; empty when unknown
};

// What the diagnosis of an empty result looks at. Gathered only when one is
// wanted; unit tests make up hosts of their own.
struct HostFacts {
    std::vector<BRIVO::LocalInterface> interfaces;
    bool multicastRoute = false;     // the routing table has a way to the group
    uint8_t probeSource[4] = {};     // with it, the address the probe leaves from
    FirewallFacts firewall;
    WslFacts wsl;
    bool windows = false;  // Windows' own firewall cannot be read; it is named in general
};

// Reads this host's facts: interfaces, the route to the group, firewall, WSL
// (one implementation per system).
HostFacts gatherHostFacts();

// The part every system reads alike, through the platform: the interfaces
// and the route to the discovery group.
void gatherNetworkFacts(HostFacts& facts);

}  // namespace webfind
