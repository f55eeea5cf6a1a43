#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/discovery/Settings.h"

namespace webfind {

// The interfaces to probe through, from this host's IPv4 interfaces: each
// one `wanted` names (by name, its first address standing for it, or by one
// of its addresses), or with `all` every one that is up, can multicast and
// is neither loopback nor a tunnel or point-to-point link. Empty when the system's routing should choose. False,
// with the problem, for an unknown name or when `all` finds none.
bool chooseInterfaces(const std::vector<std::string>& wanted, bool all, std::vector<ProbeInterface>& chosen,
                      std::string& problem);

// A test of whether an address lies in a subnet of one of this host's
// interfaces that are up (loopback aside), as they are now: a device that
// answers from one is on a link of this host's.
std::function<bool(const Address& address)> directlyConnected();

// The interface the system's routing sends the probes out of, when none is
// chosen; an empty name when there is no route to the group.
ProbeInterface routedInterface();

}  // namespace webfind
