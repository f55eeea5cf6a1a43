#include "app/discovery/Interfaces.h"

#include <algorithm>
#include <map>

#include "Network/Platform.h"
#include "app/wire/Messages.h"

namespace webfind {

namespace {

// The interfaces -i takes, for a message: "eth0 (192.168.1.5), wlan0 (10.0.0.7)".
std::string valid(const std::vector<Link>& available) {
    std::string text;
    for (const Link& l : available)
        if (!l.loopback) text += (text.empty() ? "" : ", ") + l.text();
    return text.empty() ? "none has an IPv4 address here" : "these do: " + text;
}

void addOnce(std::vector<Link>& chosen, const Link& l) {
    for (const Link& c : chosen)
        if (c.name == l.name && c.address == l.address) return;
    chosen.push_back(l);
}

std::map<std::string, std::vector<Link>> byName(const std::vector<Link>& links) {
    std::map<std::string, std::vector<Link>> found;
    for (const Link& l : links) found[l.name].push_back(l);
    return found;
}

std::vector<Address> addressesOf(const std::vector<Link>& links) {
    std::vector<Address> addresses;
    for (const Link& l : links) addresses.push_back(l.address);
    return addresses;
}

const char* const NONE_FOR_ALL =
    "no interface is up with an IPv4 address and multicast (loopback, tunnels and "
    "point-to-point links excluded; name one with -i)";

}  // namespace

Link Link::of(const BRIVO::LocalInterface& i) {
    return Link{i.name, Address::from(i.address), hostOrder(i.mask), i.index, i.kind, i.up, i.multicast, i.loopback};
}

std::vector<Link> linksOf(const std::vector<BRIVO::LocalInterface>& interfaces) {
    std::vector<Link> links;
    for (const BRIVO::LocalInterface& i : interfaces) links.push_back(Link::of(i));
    return links;
}

bool mayCarryProbes(const Link& l, bool tunnels) {
    return l.up && l.multicast && !l.loopback &&
           (tunnels || (l.kind != BRIVO::InterfaceKind::TUNNEL && l.kind != BRIVO::InterfaceKind::POINT_TO_POINT));
}

std::vector<Link> chooseLinks(const std::vector<Link>& available, const LinkChoice& choice,
                              std::vector<std::string>* missing) {
    std::vector<Link> chosen;
    if (choice.all) {
        for (const Link& l : available)
            if (mayCarryProbes(l, choice.tunnels)) addOnce(chosen, l);
        return chosen;
    }
    for (const std::string& name : choice.wanted) {
        bool found = false;
        for (const Link& l : available)
            if (l.address.text() == name && (l.up || !choice.upOnly)) {
                addOnce(chosen, l);
                found = true;
                break;
            }
        // By name: every address, or the first standing for the interface.
        const bool byAddress = found;
        for (const Link& l : available) {
            if (byAddress || l.name != name) continue;
            if (l.up || !choice.upOnly) {
                addOnce(chosen, l);
                found = true;
            }
            if (!choice.everyAddress) break;
        }
        if (!found && missing) missing->push_back(name);
    }
    return chosen;
}

std::vector<LinkChange> linkChanges(const std::vector<Link>& before, const std::vector<Link>& now) {
    std::vector<LinkChange> changes;
    const auto was = byName(before), is = byName(now);
    for (const auto& entry : is) {
        auto old = was.find(entry.first);
        if (old == was.end())
            changes.push_back(LinkChange{LinkChange::CAME, entry.first, {}, entry.second});
        else if (old->second != entry.second)
            changes.push_back(LinkChange{LinkChange::CHANGED, entry.first, old->second, entry.second});
    }
    for (const auto& entry : was)
        if (!is.count(entry.first)) changes.push_back(LinkChange{LinkChange::WENT, entry.first, entry.second, {}});
    return changes;
}

bool chooseInterfaces(const std::vector<std::string>& wanted, bool all, std::vector<Link>& chosen,
                      std::string& problem) {
    chosen.clear();
    if (!all && wanted.empty()) return true;
    const std::vector<Link> available = linksOf(BRIVO::platform().localInterfaces());
    std::vector<std::string> missing;
    chosen = chooseLinks(available, LinkChoice{wanted, all, false, false, false}, &missing);
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

InterfaceFollower::InterfaceFollower(std::vector<std::string> wanted, bool all) : wanted(std::move(wanted)), all(all) {}

std::vector<InterfaceChange> InterfaceFollower::look() {
    available = BRIVO::platform().localInterfaces();
    std::vector<std::string> missingNow;
    std::vector<Link> now = chooseLinks(linksOf(available), LinkChoice{wanted, all, false, false, true}, &missingNow);
    std::vector<InterfaceChange> changes;
    if (!looked) {
        for (const std::string& name : missingNow)
            changes.push_back(InterfaceChange{InterfaceChange::MISSING, name, {}});
    } else {
        // Those that went or moved, then those that came, each by name.
        std::vector<LinkChange> seen = linkChanges(chosen, now);
        std::stable_sort(seen.begin(), seen.end(), [](const LinkChange& a, const LinkChange& b) {
            return std::make_pair(a.kind == LinkChange::CAME, a.name) <
                   std::make_pair(b.kind == LinkChange::CAME, b.name);
        });
        for (const LinkChange& c : seen) {
            const std::vector<Address> addresses = addressesOf(c.now);
            if (c.kind == LinkChange::CAME)
                changes.push_back(InterfaceChange{InterfaceChange::CAME, c.name, addresses});
            if (c.kind == LinkChange::WENT) changes.push_back(InterfaceChange{InterfaceChange::WENT, c.name, {}});
            // Probes go by address: a new mask or number moves nothing.
            if (c.kind == LinkChange::CHANGED && addresses != addressesOf(c.before))
                changes.push_back(InterfaceChange{InterfaceChange::MOVED, c.name, addresses});
        }
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
    for (const Link& l : linksOf(interfaces))
        if (l.up && !l.loopback) subnets.emplace_back(l.address.number() & l.mask, l.mask);
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

Link routedInterface() {
    const BRIVO::Platform& os = BRIVO::platform();
    uint8_t source[4];
    if (os.routeSource(discoveryGroupV4(), source) != 0) return Link{};
    const Address from = Address::from(source);
    for (const Link& l : linksOf(os.localInterfaces()))
        if (l.address == from) return l;
    return Link{"", from};
}

}  // namespace webfind
