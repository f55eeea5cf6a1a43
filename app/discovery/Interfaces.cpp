#include "app/discovery/Interfaces.h"

#include "Network/Platform.h"

namespace webfind {

namespace {

Address addressOf(const BRIVO::LocalInterface& i) {
    return Address{{i.address[0], i.address[1], i.address[2], i.address[3]}};
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
            if (i.up && i.multicast && !i.loopback) addOnce(chosen, i);
        if (chosen.empty()) {
            problem = "no interface is up with an IPv4 address and multicast (loopback excluded)";
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
            problem = "unknown interface '" + name + "' (no IPv4 interface has that name or address)";
            return false;
        }
        addOnce(chosen, *match);
    }
    return true;
}

}  // namespace webfind
