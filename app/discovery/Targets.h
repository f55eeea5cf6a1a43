#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/base/Address.h"

namespace webfind {

// A range of targets may be at most a /16: 65,534 probes a round.
constexpr int WIDEST_TARGET_PREFIX = 16;

// Every IPv4 address a host name has; false when it has none.
using Resolver = std::function<bool(const std::string& name, std::vector<Address>& addresses)>;

// Adds the addresses one target names to `targets` (kept in address
// order, each once): a dotted
// quad, a CIDR range up to /16 (below /31 without its network and broadcast
// addresses), or a host name, resolved once. False, with the problem in one
// line, for a wider range, a name that does not resolve, or a multicast or
// broadcast address: targets are only ever what the user named.
bool addTargets(const std::string& text, const Resolver& resolve, std::vector<Address>& targets, std::string& problem);

}  // namespace webfind
