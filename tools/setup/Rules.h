#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace webfind {

// What the Windows installer sets up beside the files, and takes away
// again: the install folder on the system's PATH, and inbound firewall
// rules for the programs that take datagrams (each rule for its program
// alone, UDP, one local port).
struct FirewallRule {
    std::string name;     // shown in the firewall's list, and how it is removed
    std::string program;  // the full path of the program admitted
    uint16_t port;        // local UDP port
    std::string description;
};

std::vector<FirewallRule> installerRules(const std::string& folder);

}  // namespace webfind
