#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace webfind {

// The firewall profiles in the package admit answers to this port; users set
// WEBFIND_PORT (or --port) to it.
constexpr uint16_t FIREWALL_PORT = 13576;

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

// Readers of the files and command outputs the facts come from.
// The chains and rules on nftables' input hook that drop or reject UDP, from
// the text of "nft list ruleset".
std::vector<FirewallDrop> dropsInNftRuleset(const std::string& ruleset);
// The same from "iptables -S INPUT".
std::vector<FirewallDrop> dropsInIptables(const std::string& rules);
// True when ufw's configuration (/etc/ufw/ufw.conf) has it enabled.
bool ufwEnabledIn(const std::string& configuration);

}  // namespace webfind
