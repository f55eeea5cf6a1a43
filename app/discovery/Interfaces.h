#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "Network/Platform.h"
#include "app/discovery/Link.h"
#include "app/discovery/Settings.h"

namespace webfind {

// Which of this host's links a program takes.
struct LinkChoice {
    std::vector<std::string> wanted;  // interfaces by name, or by one of their addresses
    // With no names: every link that is up and can multicast, loopback aside.
    bool all = false;
    // Where the finder and the announcer differ, by name:
    bool everyAddress = false;  // a name takes every address of its interface, not the first alone
    bool tunnels = false;       // `all` takes tunnels and point-to-point links too
    bool upOnly = true;         // a named interface that is down is as good as not there
};

// The links `choice` takes from `available`, in the order named (with `all`,
// the system's), each once; a wanted name or address that took none goes to
// `missing`.
std::vector<Link> chooseLinks(const std::vector<Link>& available, const LinkChoice& choice,
                              std::vector<std::string>* missing = nullptr);
std::vector<Link> linksOf(const std::vector<BRIVO::LocalInterface>& interfaces);

// The link may carry probes to devices: up, multicast, not loopback, and
// unless `tunnels`, not a tunnel or point-to-point link (a VPN leads
// elsewhere).
bool mayCarryProbes(const Link& link, bool tunnels);

// What became of the links from one look to the next, by interface name:
// one that came, one that went, one whose addresses changed.
struct LinkChange {
    enum Kind { CAME, WENT, CHANGED };
    Kind kind;
    std::string name;
    std::vector<Link> before, now;  // of that interface
};
std::vector<LinkChange> linkChanges(const std::vector<Link>& before, const std::vector<Link>& now);

// The finder's choice: the interfaces to probe through, from this host's
// IPv4 interfaces: each one `wanted` names (by name, its first address
// standing for it, or by one of its addresses), or with `all` every one that
// may carry probes, tunnels aside. Empty when the system's routing should
// choose. False, with the problem, for an unknown name or when `all` finds
// none.
bool chooseInterfaces(const std::vector<std::string>& wanted, bool all, std::vector<Link>& chosen,
                      std::string& problem);

// What changed of the interfaces a watch probes through since it last
// looked. MISSING: at the first look, one named with -i is not there (yet).
struct InterfaceChange {
    enum Kind { CAME, WENT, MOVED, MISSING };
    Kind kind;
    std::string name;
    std::vector<Address> addresses;  // probed through it now (CAME, MOVED)
};

// The interfaces a watch probes through, chosen as chooseInterfaces()
// chooses them but looked at again each round: with `all`, every interface
// that comes, goes or changes address; otherwise each one named, at its
// current address, and only while it is there and up. An interface that is
// not there is no error: its probes wait for it.
class InterfaceFollower {
public:
    InterfaceFollower(std::vector<std::string> wanted, bool all);

    // Reads this host's interfaces again (no process started) and chooses;
    // what changed since the last look.
    std::vector<InterfaceChange> look();
    // Whether it chooses at all: with neither names nor `all`, the system's
    // routing does.
    bool choosing() const { return all || !wanted.empty(); }
    // The choice of the last look; empty when none of them is there.
    const std::vector<Link>& current() const { return chosen; }
    // Every interface of the last look.
    const std::vector<BRIVO::LocalInterface>& interfaces() const { return available; }
    // Why current() is empty, for a round that cannot probe.
    std::string problem() const;

private:
    const std::vector<std::string> wanted;
    const bool all;
    std::vector<BRIVO::LocalInterface> available;
    std::vector<Link> chosen;
    bool looked = false;
};

// The subnets of the interfaces that are up, loopback aside: network and
// mask, in host order.
using Subnets = std::vector<std::pair<uint32_t, uint32_t>>;
Subnets subnetsOf(const std::vector<BRIVO::LocalInterface>& interfaces);

// A test of whether an address lies in a subnet of one of this host's
// interfaces that are up (loopback aside), as they are now, or in one of
// `subnets`: a device that answers from one is on a link of this host's.
std::function<bool(const Address& address)> directlyConnected();
std::function<bool(const Address& address)> directlyConnected(Subnets subnets);

// The interface the system's routing sends the probes out of, when none is
// chosen; an empty name when there is no route to the group.
Link routedInterface();

}  // namespace webfind
