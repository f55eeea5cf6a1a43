#include "app/diagnosis/Firewall.h"

#include <algorithm>
#include <sstream>

namespace webfind {

Ruleset withRuleFirst(const Ruleset& ruleset, const Chain& chain, const Rule& rule) {
    Ruleset changed = ruleset;
    for (Chain& c : changed.chains)
        if (c.source == chain.source && c.family == chain.family && c.table == chain.table && c.name == chain.name)
            c.rules.insert(c.rules.begin(), rule);
    return changed;
}

Rule acceptUdpTo(uint16_t port) {
    Rule rule;
    Condition udp;
    udp.field = Condition::PROTOCOL;
    udp.words = {"udp"};
    Condition to;
    to.field = Condition::DPORT;
    to.ranges = {{port, port}};
    rule.conditions = {udp, to};
    rule.verdict = Rule::ACCEPT;
    rule.text = "udp dport " + std::to_string(port) + " accept";
    return rule;
}

std::string chainName(const Chain& chain) {
    switch (chain.source) {
    case Chain::NFTABLES: return "nftables, table " + chain.family + " " + chain.table + ", chain " + chain.name;
    case Chain::IPTABLES_NFT: return "iptables, table " + chain.table + ", chain " + chain.name;
    case Chain::IPTABLES_LEGACY: return "iptables-legacy, table " + chain.table + ", chain " + chain.name;
    }
    return chain.name;
}

void append(Ruleset& into, Ruleset&& more) {
    for (Chain& c : more.chains) into.chains.push_back(std::move(c));
    for (std::string& t : more.iptablesTables) into.iptablesTables.push_back(std::move(t));
    for (std::string& t : more.incompatibleTables) into.incompatibleTables.push_back(std::move(t));
    for (std::string& t : more.xtTables) into.xtTables.push_back(std::move(t));
}

Ruleset mergeIptablesNft(Ruleset nft, Ruleset iptablesNft) {
    auto listed = [](const std::vector<std::string>& tables, const std::string& table) {
        return std::find(tables.begin(), tables.end(), table) != tables.end();
    };
    // iptables-nft-save's view of a table is taken only where nft shows its
    // matches as opaque "xt" expressions and iptables-nft-save can show it.
    auto fromIptables = [&](const std::string& table) {
        return listed(nft.xtTables, table) && !listed(iptablesNft.incompatibleTables, table);
    };
    Ruleset merged;
    for (Chain& c : nft.chains)
        if (!fromIptables(c.family + " " + c.table)) merged.chains.push_back(std::move(c));
    for (Chain& c : iptablesNft.chains)
        if (fromIptables("ip " + c.table)) merged.chains.push_back(std::move(c));
    merged.iptablesTables = std::move(iptablesNft.iptablesTables);
    merged.incompatibleTables = std::move(iptablesNft.incompatibleTables);
    merged.xtTables = std::move(nft.xtTables);
    return merged;
}

bool ufwEnabledIn(const std::string& configuration) {
    std::istringstream lines(configuration);
    for (std::string line; std::getline(lines, line);) {
        line.erase(0, line.find_first_not_of(" \t"));
        if (line.rfind("ENABLED=", 0) != 0) continue;
        std::string value = line.substr(8);
        value.erase(std::remove(value.begin(), value.end(), '"'), value.end());
        value.erase(value.find_last_not_of(" \t\r") + 1);
        return value == "yes";
    }
    return false;
}

}  // namespace webfind
