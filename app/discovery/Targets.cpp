#include "app/discovery/Targets.h"

#include <algorithm>

namespace webfind {

namespace {

bool multicastOrBroadcast(uint32_t a) { return (a >> 28) == 0xE || a == 0xFFFFFFFF; }

// In address order, each once.
bool tidy(std::vector<Address>& targets) {
    std::sort(targets.begin(), targets.end());
    targets.erase(std::unique(targets.begin(), targets.end()), targets.end());
    return true;
}

}  // namespace

bool addTargets(const std::string& text, const Resolver& resolve, std::vector<Address>& targets, std::string& problem) {
    const std::string quoted = "'" + text + "'";
    Address base;
    if (text.find('/') != std::string::npos) {
        int prefix = 0;
        if (!parseRange(text, base, prefix)) {
            problem = "--target " + quoted + " is no address, range (address/prefix) or host name";
            return false;
        }
        if (prefix < WIDEST_TARGET_PREFIX) {
            problem = "--target " + quoted + " is wider than /16 (65,534 addresses); name smaller ranges";
            return false;
        }
        const uint32_t first = base.number(), last = first | ~maskOf(prefix);
        if (multicastOrBroadcast(first)) {
            problem = "--target " + quoted + " is a multicast range: probes to groups go with -i or -a";
            return false;
        }
        // Below /31 the first and last addresses are the network's and its broadcast.
        const bool ends = prefix < 31;
        for (uint64_t a = first + (ends ? 1 : 0); a + (ends ? 1 : 0) <= last; ++a)
            targets.push_back(Address::of(static_cast<uint32_t>(a)));
        return tidy(targets);
    }
    std::vector<Address> found;
    if (parseDottedQuad(text, base)) {
        found.push_back(base);
    } else if (!resolve(text, found)) {
        problem = "--target " + quoted + " does not resolve to an IPv4 address";
        return false;
    }
    for (const Address& a : found) {
        if (multicastOrBroadcast(a.number()) || a.number() == 0) {
            problem = "--target " + quoted + " is " +
                      (a.number() == 0             ? "no host's address"
                       : (a.number() >> 28) == 0xE ? "a multicast address: probes to groups go with -i or -a"
                                                   : "the broadcast address");
            return false;
        }
        targets.push_back(a);
    }
    return tidy(targets);
}

}  // namespace webfind
