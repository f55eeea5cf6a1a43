#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "Network/Platform.h"
#include "app/diagnosis/Firewall.h"

namespace webfind {

struct FirewallFacts {
    // Read by anyone: the managers' own files and processes.
    bool ufwEnabled = false;
    std::vector<std::string> ufwProfiles;  // the packages' application profiles installed ("webfind", ...)
    bool firewalldRunning = false;
    std::vector<std::string> firewalldServices;  // the packages' services installed
    // The kernel's ruleset, which only root may read.
    bool read = false;
    std::string unreadable;  // why it was not read
    Ruleset ruleset;
    // How rules outlive a reboot here.
    bool nftablesConf = false;         // /etc/nftables.conf, loaded at boot
    bool netfilterPersistent = false;  // netfilter-persistent saves iptables' rules
    // The commands that reach iptables-nft's and the legacy tables.
    std::string iptablesNft = "iptables";
    std::string iptablesLegacy = "iptables-legacy";
};

struct WslFacts {
    bool wsl2 = false;
    std::string networkingMode;  // "nat", "mirrored", ...; empty when unknown
};

// Windows' own firewall, from the registry.
struct WindowsFacts {
    bool windows = false;
    // The category of the network the probe left on: "Public", "Private",
    // "Domain"; empty when unknown.
    std::string profile;
    int firewallOn = -1;  // for that profile: 1 on, 0 off, -1 unknown
};

// What the diagnosis of an empty result looks at. Gathered only when one is
// wanted; unit tests make up hosts of their own.
struct HostFacts {
    std::vector<BRIVO::LocalInterface> interfaces;
    bool multicastRoute = false;  // the routing table has a way to the group
    uint8_t probeSource[4] = {};  // with it, the address the probe leaves from
    // Neighbours seen on each interface (the ARP table), where known.
    bool neighboursKnown = false;
    std::map<std::string, int> neighbours;
    // The ports the system picks a local port from when none is asked for.
    std::pair<uint16_t, uint16_t> ephemeralPorts{32768, 60999};
    FirewallFacts firewall;
    WslFacts wsl;
    WindowsFacts windows;
};

// Reads this host's facts: interfaces, the route to the group, firewall, WSL
// (one implementation per system); the neighbour table only `withNeighbours`
// (on a host of many neighbours it takes the kernel a second to list).
HostFacts gatherHostFacts(bool withNeighbours = true);

// The process that holds local UDP `port`: "webfind (pid 4242)"; empty when
// it cannot be told (another user's process, a system without /proc).
std::string udpPortHolder(uint16_t port);

// The part every system reads alike, through the platform: the interfaces
// and the route to the discovery group.
void gatherNetworkFacts(HostFacts& facts);

}  // namespace webfind
