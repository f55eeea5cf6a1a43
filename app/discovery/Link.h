#pragma once

#include <cstdint>
#include <string>

#include "Network/Platform.h"
#include "app/base/Address.h"

namespace webfind {

// One IPv4 address of one of this host's interfaces: what the finder probes
// through and the announcer answers on.
struct Link {
    std::string name;
    Address address;
    uint32_t mask = 0;   // host order
    uint32_t index = 0;  // the system's number for the interface; 0: unknown
    BRIVO::InterfaceKind kind = BRIVO::InterfaceKind::UNKNOWN;
    bool up = true, multicast = true, loopback = false;

    static Link of(const BRIVO::LocalInterface& i);
    // Neighbours are looked up there (not on loopback or point-to-point links).
    bool resolves() const { return !loopback && kind != BRIVO::InterfaceKind::POINT_TO_POINT; }
    // `other` is on this link's subnet.
    bool holds(const Address& other) const { return (other.number() & mask) == (address.number() & mask); }
    std::string text() const { return name + " (" + address.text() + ")"; }  // "eth0 (192.168.1.5)"
    bool operator==(const Link& o) const {
        return name == o.name && address == o.address && mask == o.mask && index == o.index && kind == o.kind &&
               up == o.up && multicast == o.multicast && loopback == o.loopback;
    }
    bool operator!=(const Link& o) const { return !(*this == o); }
};

}  // namespace webfind
