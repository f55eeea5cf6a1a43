#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Network/Platform.h"

namespace webfind {

// A chain or rule of the kernel's firewall seen to drop or reject incoming
// UDP, where it is and as the ruleset states it.
struct FirewallDrop {
    std::string tool;    // "nftables" or "iptables"
    std::string family;  // nftables: "inet", "ip", ...
    std::string table;
    std::string chain;
    std::string rule;    // "policy drop", or the rule's own text
};

struct FirewallFacts {
    bool ufwEnabled = false;
    bool firewalldRunning = false;
    std::vector<FirewallDrop> drops;
};

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

// True under the Windows Subsystem for Linux, either version.
bool runningUnderWsl();

// Readers of the files and command outputs the facts come from.
// The chains and rules on nftables' input hook that drop or reject UDP, from
// the text of "nft list ruleset".
std::vector<FirewallDrop> dropsInNftRuleset(const std::string& ruleset);
// The same from "iptables -S INPUT".
std::vector<FirewallDrop> dropsInIptables(const std::string& rules);
// True when ufw's configuration (/etc/ufw/ufw.conf) has it enabled.
bool ufwEnabledIn(const std::string& configuration);
// True under WSL 2, from /proc/sys/kernel/osrelease and whether
// WSL_DISTRO_NAME is set (it is under WSL 1 too, and under a custom WSL 2
// kernel that does not name Microsoft).
bool wsl2Kernel(const std::string& osRelease, bool distroNameSet = false);

}  // namespace webfind
