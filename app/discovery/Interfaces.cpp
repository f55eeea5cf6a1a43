#include "app/discovery/Interfaces.h"

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

}  // namespace

bool chooseInterfaces(const std::vector<std::string>& wanted, bool all, std::vector<ProbeInterface>& chosen,
                      std::string& problem) {
    chosen.clear();
    if (!all && wanted.empty()) return true;
    const std::vector<BRIVO::LocalInterface> available = BRIVO::platform().localInterfaces();
    if (all) {
        for (const BRIVO::LocalInterface& i : available)
            if (probedByAll(i)) addOnce(chosen, i);
        if (chosen.empty()) {
            problem = "no interface is up with an IPv4 address and multicast (loopback, tunnels and point-to-point "
                      "links excluded; name one with -i)";
            return false;
        }
        return true;
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
        if (!match) {
            problem = "unknown interface '" + name + "' (no IPv4 interface has that name or address; " +
                      valid(available) + ")";
            return false;
        }
        addOnce(chosen, *match);
    }
    return true;
}

std::function<bool(const Address& address)> directlyConnected() {
    std::vector<std::pair<uint32_t, uint32_t>> subnets;  // address and mask, host order
    auto number = [](const uint8_t* b) { return uint32_t(b[0]) << 24 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 8 | b[3]; };
    for (const BRIVO::LocalInterface& i : BRIVO::platform().localInterfaces())
        if (i.up && !i.loopback) subnets.emplace_back(number(i.address) & number(i.mask), number(i.mask));
    return [subnets, number](const Address& address) {
        const uint32_t a = number(address.bytes.data());
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
