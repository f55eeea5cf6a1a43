#include "app/diagnosis/Advice.h"

#include <algorithm>

#include "app/base/Address.h"
#include "app/wire/Messages.h"

namespace webfind {

const Door ANSWERS_DOOR{FIREWALL_PORT, "webfind"};
const Door PROBES_DOOR{DISCOVERY_PORT, "webfind-announce"};

Door answersAt(uint16_t port) { return port == FIREWALL_PORT ? ANSWERS_DOOR : Door{port, nullptr}; }

namespace {

bool installed(const std::vector<std::string>& profiles, const Door& door) {
    return door.profile && std::find(profiles.begin(), profiles.end(), door.profile) != profiles.end();
}

bool hasChainNamed(const Ruleset& ruleset, const std::string& prefix, const std::string& table = "") {
    for (const Chain& c : ruleset.chains)
        if (c.name.compare(0, prefix.size(), prefix) == 0 || (!table.empty() && c.table == table)) return true;
    return false;
}

// The command that puts an accept for `port` first in `chain`.
std::string insertCommand(const FirewallFacts& fw, const Chain& chain, uint16_t port) {
    const std::string p = std::to_string(port);
    if (chain.source == Chain::NFTABLES)
        return "sudo nft insert rule " + chain.family + " " + chain.table + " " + chain.name + " udp dport " + p +
               " accept";
    const std::string tool = chain.source == Chain::IPTABLES_LEGACY ? fw.iptablesLegacy : fw.iptablesNft;
    const std::string table = chain.table == "filter" ? "" : " -t " + chain.table;
    return "sudo " + tool + table + " -I " + chain.name + " -p udp --dport " + p + " -j ACCEPT";
}

// Where a rule of one's own must go in `chain` to count: before its first
// rule, by that rule's text (anywhere, in a chain of none).
std::string whereInChain(const Chain& chain) {
    const std::string where = "in chain " + chain.name + " of table " + chain.family + " " + chain.table;
    if (chain.rules.empty()) return where;
    return where + ", before its first rule \"" + chain.rules.front().text + "\"";
}

// How to keep rules put in by hand after a reboot, on this host: the
// command that saves them where this host's persistence reads them, or the
// step to take by hand, then how they are loaded at boot.
std::vector<std::string> keepAfterReboot(const FirewallFacts& fw, const Chain& chain, const Door& door) {
    const std::string rule = "\"udp dport " + std::to_string(door.port) + " accept\"";
    if (chain.source == Chain::NFTABLES) {
        // firewalld's own table is made anew whenever firewalld starts: what
        // is added there by hand is lost then, whatever files say.
        if (chain.table == "firewalld")
            return {"table " + chain.family +
                    " firewalld is firewalld's own, made anew each time firewalld starts: "
                    "keep the port with " +
                    firewalldAdd(fw, door) + (fw.firewalldRunning ? "" : " once firewalld runs") +
                    ", or, where firewalld is no longer used, delete its table (sudo nft delete table " + chain.family +
                    " firewalld)"};
        const std::string where = whereInChain(chain);
        if (fw.nftablesConf)
            return {"add " + rule + " to /etc/nftables.conf, " + where + ": nftables.service loads that file at boot"};
        return {"add " + rule + " to the file your system loads its nftables rules from, " + where +
                ": until then it lasts until the next reboot"};
    }
    // netfilter-persistent saves and restores with "iptables", which reaches
    // the legacy tables or iptables-nft's as the alternatives choose.
    const bool legacy = chain.source == Chain::IPTABLES_LEGACY;
    const bool persistentReachesIt =
        fw.netfilterPersistent && (legacy ? fw.iptablesLegacy : fw.iptablesNft) == "iptables";
    if (persistentReachesIt) return {"sudo netfilter-persistent save", "which netfilter-persistent loads at boot"};
    const std::string save = legacy ? "iptables-legacy-save" : "iptables-nft-save";
    const std::string restore = legacy ? "iptables-legacy-restore" : "iptables-nft-restore";
    const std::string load = "and load it at boot with " + restore + " < /etc/iptables/rules.v4";
    return {"sudo mkdir -p /etc/iptables && sudo sh -c '" + save + " > /etc/iptables/rules.v4'",
            fw.netfilterPersistent ? load + ": netfilter-persistent restores that file with iptables, which reaches " +
                                         (legacy ? "iptables-nft's tables" : "the legacy tables") + " here"
                                   : load + " (the iptables-persistent package loads that file with iptables at boot)"};
}

// The rules to add, one for each base chain that would still drop the
// datagram after the ones before: checked against the ruleset itself.
std::vector<const Chain*> chainsToOpen(const Ruleset& ruleset, const UdpArrival& arrival, uint16_t port) {
    std::vector<const Chain*> chains;
    Ruleset opened = ruleset;
    for (int i = 0; i < 4; ++i) {
        FirewallVerdict v = verdictFor(opened, arrival);
        if (v.kind == FirewallVerdict::ADMITS || !v.base) break;
        for (const Chain& c : ruleset.chains)
            if (c.source == v.base->source && c.family == v.base->family && c.table == v.base->table &&
                c.name == v.base->name)
                chains.push_back(&c);
        opened = withRuleFirst(opened, *v.base, acceptUdpTo(port));
    }
    return chains;
}

}  // namespace

std::string subnetOf(const BRIVO::LocalInterface& i) {
    uint8_t net[4];
    int prefix = 0;
    for (int b = 0; b < 4; ++b) {
        net[b] = static_cast<uint8_t>(i.address[b] & i.mask[b]);
        for (int bit = 7; bit >= 0; --bit) prefix += (i.mask[b] >> bit) & 1;
    }
    return dottedQuad(net) + "/" + std::to_string(prefix);
}

std::string ufwAllow(const FirewallFacts& fw, const Door& door, const BRIVO::LocalInterface* lan) {
    const std::string from = lan ? "from " + subnetOf(*lan) + " to any " : "";
    if (installed(fw.ufwProfiles, door)) return "sudo ufw allow " + from + (lan ? "app " : "") + door.profile;
    const std::string p = std::to_string(door.port);
    return lan ? "sudo ufw allow " + from + "port " + p + " proto udp" : "sudo ufw allow " + p + "/udp";
}

std::string firewalldAdd(const FirewallFacts& fw, const Door& door) {
    const std::string what = installed(fw.firewalldServices, door) ? std::string("--add-service=") + door.profile
                                                                   : "--add-port=" + std::to_string(door.port) + "/udp";
    return "sudo firewall-cmd --permanent " + what + " && sudo firewall-cmd --reload";
}

bool ufwRules(const FirewallFacts& fw) { return fw.ufwEnabled && hasChainNamed(fw.ruleset, "ufw-"); }

bool firewalldRules(const FirewallFacts& fw) {
    return fw.firewalldRunning && hasChainNamed(fw.ruleset, "", "firewalld");
}

Advice adviceToAdmit(const FirewallFacts& fw, const Door& door, const UdpArrival& arrival,
                     const BRIVO::LocalInterface* lan) {
    Advice advice;
    if (ufwRules(fw)) {
        advice.next.push_back(ufwAllow(fw, door, lan));
    } else if (firewalldRules(fw)) {
        advice.next.push_back(firewalldAdd(fw, door));
    } else {
        const std::vector<const Chain*> chains = chainsToOpen(fw.ruleset, arrival, door.port);
        for (const Chain* chain : chains) advice.next.push_back(insertCommand(fw, *chain, door.port));
        if (!chains.empty()) advice.keep = keepAfterReboot(fw, *chains.front(), door);
    }
    return advice;
}

}  // namespace webfind
