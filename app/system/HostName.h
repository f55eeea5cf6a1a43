#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace webfind {

// This host's name as finders may reach it: its fully qualified name where
// the system has one (on Windows its DNS name; elsewhere the name itself
// when it has a dot, or else the first name /etc/hosts gives it that does),
// otherwise the bare name ("nas"); empty when the system gives none. No
// name server is asked: nothing here waits.
std::string hostName();

// The fully qualified name that the hosts file `hosts` gives the bare name
// `name`; empty when it gives none.
std::string qualifiedIn(const std::string& hosts, const std::string& name);

// Every IPv4 address the system's resolver gives `name` (the hosts file,
// DNS, ...), in its order; false when it gives none. This one may wait for a
// name server.
bool addressesOf(const std::string& name, std::vector<std::array<uint8_t, 4>>& addresses);

}  // namespace webfind
