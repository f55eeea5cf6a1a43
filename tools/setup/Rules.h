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

// The firewall as the helper uses it (Windows' INetFwRules, or a test's).
class Firewall {
public:
    virtual ~Firewall() = default;
    virtual bool remove(const std::string& name) = 0;
    virtual bool add(const FirewallRule& rule) = 0;
};

// Each rule of `folder`'s programs: one left by an earlier install removed
// first, then, when installing, added. Every rule is tried; true when all
// went.
bool applyRules(Firewall& firewall, const std::string& folder, bool install);

}  // namespace webfind
