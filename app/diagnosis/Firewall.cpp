#include "app/diagnosis/Firewall.h"

#include <algorithm>
#include <cctype>
#include <sstream>

namespace webfind {

namespace {

std::string trimmed(const std::string& s) {
    size_t first = s.find_first_not_of(" \t\r");
    if (first == std::string::npos) return "";
    size_t last = s.find_last_not_of(" \t\r;");
    return s.substr(first, last - first + 1);
}

bool hasWord(const std::string& text, const std::string& word) {
    for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) {
        bool startOk = at == 0 || !std::isalnum(static_cast<unsigned char>(text[at - 1]));
        size_t end = at + word.size();
        bool endOk = end == text.size() || !std::isalnum(static_cast<unsigned char>(text[end]));
        if (startOk && endOk) return true;
    }
    return false;
}

// A rule that ends in drop or reject and is not limited to another protocol.
bool dropsUdp(const std::string& rule) {
    if (!hasWord(rule, "drop") && !hasWord(rule, "reject")) return false;
    if (hasWord(rule, "udp")) return true;
    for (const char* other : {"tcp", "icmp", "icmpv6", "sctp", "igmp"})
        if (hasWord(rule, other)) return false;
    return true;
}

}  // namespace

std::vector<FirewallDrop> dropsInNftRuleset(const std::string& ruleset) {
    std::vector<FirewallDrop> drops;
    std::istringstream lines(ruleset);
    std::string line, family, table, chain;
    bool inputHook = false;
    for (std::string raw; std::getline(lines, raw);) {
        line = trimmed(raw);
        std::istringstream words(line);
        std::string first;
        words >> first;
        if (first == "table") {
            words >> family >> table;
        } else if (first == "chain") {
            words >> chain;
            inputHook = false;
        } else if (line.find("hook input") != std::string::npos) {
            inputHook = true;
            if (line.find("policy drop") != std::string::npos)
                drops.push_back({"nftables", family, table, chain, "policy drop"});
        } else if (inputHook && first != "}" && !line.empty() && dropsUdp(line)) {
            drops.push_back({"nftables", family, table, chain, line});
        } else if (first == "}") {
            inputHook = false;  // the end of a chain (or of its table)
        }
    }
    return drops;
}

std::vector<FirewallDrop> dropsInIptables(const std::string& rules) {
    std::vector<FirewallDrop> drops;
    std::istringstream lines(rules);
    for (std::string line; std::getline(lines, line);) {
        line = trimmed(line);
        if (line == "-P INPUT DROP" || line == "-P INPUT REJECT") {
            drops.push_back({"iptables", "", "filter", "INPUT", "policy drop"});
            continue;
        }
        if (line.rfind("-A INPUT", 0) != 0) continue;
        bool ends = line.find("-j DROP") != std::string::npos || line.find("-j REJECT") != std::string::npos;
        bool udp = line.find("-p udp") != std::string::npos || line.find("-p ") == std::string::npos;
        if (ends && udp) drops.push_back({"iptables", "", "filter", "INPUT", line});
    }
    return drops;
}

bool ufwEnabledIn(const std::string& configuration) {
    std::istringstream lines(configuration);
    for (std::string line; std::getline(lines, line);) {
        line = trimmed(line);
        if (line.rfind("ENABLED=", 0) != 0) continue;
        std::string value = line.substr(8);
        value.erase(std::remove(value.begin(), value.end(), '"'), value.end());
        return value == "yes";
    }
    return false;
}

}  // namespace webfind
