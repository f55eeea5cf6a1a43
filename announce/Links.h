#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Network/Platform.h"

namespace webfind::announce {

// An interface the announcer answers on: its name, one IPv4 address of it
// and that address's subnet, and the system's number for it.
struct Link {
    std::string name;
    uint32_t address = 0;  // host order
    uint32_t mask = 0;     // host order
    uint32_t index = 0;

    std::string text() const;  // "eth0 (192.168.1.5)"
    bool operator==(const Link& other) const {
        return name == other.name && address == other.address && mask == other.mask && index == other.index;
    }
};

// The interfaces to answer on, from the system's list: those `wanted`
// names (by name or by one of their addresses, loopback too), or without
// any, every one that is up, has an IPv4 address and can multicast, loopback
// aside. An interface named that is not there (yet) is simply not chosen.
std::vector<Link> chooseLinks(const std::vector<BRIVO::LocalInterface>& interfaces,
                              const std::vector<std::string>& wanted);

// What became of the links from one look to the next, by interface name:
// one that came, one that went, one whose addresses changed.
struct LinkChange {
    enum Kind { CAME, WENT, CHANGED };
    Kind kind;
    std::string name;
    std::vector<Link> before, now;  // of that interface
};
std::vector<LinkChange> linkChanges(const std::vector<Link>& before, const std::vector<Link>& now);

// The link a datagram that arrived on interface `index` from `source` came
// by: one of that interface's whose subnet holds the source. Null when
// there is none.
const Link* linkOf(const std::vector<Link>& links, uint32_t index, uint32_t source);

std::string dotted(uint32_t hostOrder);

}  // namespace webfind::announce
