#include "app/discovery/Interfaces.h"

#include <map>

#include "Network/Platform.h"
#include "app/wire/Messages.h"

namespace webfind {

namespace {

Address addressOf(const BRIVO::LocalInterface& i) {
    return Address{{i.address[0], i.address[1], i.address[2], i.address[3]}};
}

// What -a probes through: the interfaces that may reach devices. A tunnel or
// a point-to-point link (a VPN) leads elsewhere; name it with -i to probe it.
bool probedByAll(const BRIVO::LocalInterface& i) {
    return i.up && i.multicast && !i.loopback && i.kind != BRIVO::InterfaceKind::TUNNEL &&
           i.kind != BRIVO::InterfaceKind::POINT_TO_POINT;
}

// The interfaces -i takes, for a message: "eth0 (192.168.1.5), wlan0 (10.0.0.7)".
std::string valid(const std::vector<BRIVO::LocalInterface>& available) {
    std::string text;
    for (const BRIVO::LocalInterface& i : available)
        if (!i.loopback) text += (text.empty() ? "" : ", ") + i.name + " (" + addressOf(i).text() + ")";
    return text.empty() ? "none has an IPv4 address here" : "these do: " + text;
}

void addOnce(std::vector<ProbeInterface>& chosen, const BRIVO::LocalInterface& i) {
    for (const ProbeInterface& c : chosen)
        if (c.address == addressOf(i)) return;
    chosen.push_back(ProbeInterface{i.name, addressOf(i)});
}


// The interfaces `wanted` names, or with `all` every one -a probes, from
// `available`; a wanted name or address that is not there goes to `missing`.
// `upOnly`: a named interface that is down is as good as not there.
void pick(const std::vector<BRIVO::LocalInterface>& available, const std::vector<std::string>& wanted, bool all,
          bool upOnly, std::vector<ProbeInterface>& chosen, std::vector<std::string>& missing) {
    if (all) {
        for (const BRIVO::LocalInterface& i : available)
            if (probedByAll(i)) addOnce(chosen, i);
        return;
    }
    for (const std::string& name : wanted) {
        const BRIVO::LocalInterface* match = nullptr;
        for (const BRIVO::LocalInterface& i : available)
            if (addressOf(i).text() == name) {
                match = &i;
                break;
            }
        // By name: the interface's first IPv4 address stands for it.
        if (!match)
            for (const BRIVO::LocalInterface& i : available)
                if (i.name == name) {
                    match = &i;
                    break;
                }
        if (match && (match->up || !upOnly))
            addOnce(chosen, *match);
        else
            missing.push_back(name);
    }
}

const char* const NONE_FOR_ALL = "no interface is up with an IPv4 address and multicast (loopback, tunnels and "
                                 "point-to-point links excluded; name one with -i)";

}  // namespace

bool chooseInterfaces(const std::vector<std::string>& wanted, bool all, std::vector<ProbeInterface>& chosen,
                      std::string& problem) {
    chosen.clear();
    if (!all && wanted.empty()) return true;
    const std::vector<BRIVO::LocalInterface> available = BRIVO::platform().localInterfaces();
    std::vector<std::string> missing;
    pick(available, wanted, all, false, chosen, missing);
    if (all && chosen.empty()) {
        problem = NONE_FOR_ALL;
        return false;
    }
    if (!missing.empty()) {
        problem = "unknown interface '" + missing.front() + "' (no IPv4 interface has that name or address; " +
                  valid(available) + ")";
        return false;
    }
    return true;
}

InterfaceFollower::InterfaceFollower(std::vector<std::string> wanted, bool all)
    : wanted(std::move(wanted)), all(all) {}

std::vector<InterfaceChange> InterfaceFollower::look() {
    available = BRIVO::platform().localInterfaces();
    std::vector<ProbeInterface> now;
    std::vector<std::string> missingNow;
    pick(available, wanted, all, true, now, missingNow);
    // Each interface by name, with the addresses probed through it.
    auto byName = [](const std::vector<ProbeInterface>& list) {
        std::map<std::string, std::vector<Address>> named;
        for (const ProbeInterface& i : list) named[i.name].push_back(i.address);
        return named;
    };
    const auto before = byName(chosen), after = byName(now);
    std::vector<InterfaceChange> changes;
    if (!looked) {
        for (const std::string& name : missingNow) changes.push_back(InterfaceChange{InterfaceChange::MISSING, name, {}});
    } else {
        for (const auto& b : before) {
            auto a = after.find(b.first);
            if (a == after.end())
                changes.push_back(InterfaceChange{InterfaceChange::WENT, b.first, {}});
            else if (a->second != b.second)
                changes.push_back(InterfaceChange{InterfaceChange::MOVED, b.first, a->second});
        }
        for (const auto& a : after)
            if (!before.count(a.first)) changes.push_back(InterfaceChange{InterfaceChange::CAME, a.first, a.second});
    }
    chosen = std::move(now);
    looked = true;
    return changes;
}

std::string InterfaceFollower::problem() const {
    if (all) return NONE_FOR_ALL;
    std::string names;
    for (const std::string& w : wanted) names += (names.empty() ? "" : ", ") + w;
    return "none of the interfaces to probe through is up with an IPv4 address: " + names;
}

Subnets subnetsOf(const std::vector<BRIVO::LocalInterface>& interfaces) {
    Subnets subnets;
    for (const BRIVO::LocalInterface& i : interfaces)
        if (i.up && !i.loopback) subnets.emplace_back(hostOrder(i.address) & hostOrder(i.mask), hostOrder(i.mask));
    return subnets;
}

std::function<bool(const Address& address)> directlyConnected() {
    return directlyConnected(subnetsOf(BRIVO::platform().localInterfaces()));
}

std::function<bool(const Address& address)> directlyConnected(Subnets subnets) {
    return [subnets = std::move(subnets)](const Address& address) {
        const uint32_t a = address.number();
        for (const auto& s : subnets)
            if ((a & s.second) == s.first) return true;
        return false;
    };
}

ProbeInterface routedInterface() {
    const BRIVO::Platform& os = BRIVO::platform();
    uint8_t source[4];
    if (os.routeSource(discoveryGroupV4(), source) != 0) return ProbeInterface{};
    const Address from{{source[0], source[1], source[2], source[3]}};
    for (const BRIVO::LocalInterface& i : os.localInterfaces())
        if (addressOf(i) == from) return ProbeInterface{i.name, from};
    return ProbeInterface{"", from};
}

}  // namespace webfind
