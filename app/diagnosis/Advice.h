#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/diagnosis/HostFacts.h"

namespace webfind {

// The advice of the diagnosis: the commands that admit a kind of datagram
// through this host's firewall (Next), and how to keep them after a reboot
// (Keep), for each firewall manager. The rules that judge are in Rules.h.

// What is to be let in: UDP to `port`, which the packages' firewall
// profiles named `profile` admit (ufw's application, firewalld's service),
// where they are installed; null when none does.
struct Door {
    uint16_t port;
    const char* profile;
};
// webfind's answers at `port`.
Door answersAt(uint16_t port);
// webfind's answers, at the port its profiles admit; an announcer's probes.
extern const Door ANSWERS_DOOR;
extern const Door PROBES_DOOR;

struct Advice {
    std::vector<std::string> next;  // commands, most to the point first
    std::vector<std::string> keep;  // how to keep them, where that needs saying: a command or a step, then notes
};

// The LAN of an interface as address/prefix, for rules that admit it alone.
std::string subnetOf(const BRIVO::LocalInterface& i);

// The steps that let `arrival` in through the ruleset read from the kernel
// (its managers' commands where ufw or firewalld runs it): for `door`, from
// `lan` when one is known.
Advice adviceToAdmit(const FirewallFacts& fw, const Door& door, const UdpArrival& arrival,
                     const BRIVO::LocalInterface* lan);
// Where the ruleset could not be read: what ufw or firewalld needs.
std::string ufwAllow(const FirewallFacts& fw, const Door& door, const BRIVO::LocalInterface* lan);
std::string firewalldAdd(const FirewallFacts& fw, const Door& door);

// True when ufw runs the ruleset (its chains are there), or firewalld does.
bool ufwRules(const FirewallFacts& fw);
bool firewalldRules(const FirewallFacts& fw);

}  // namespace webfind
