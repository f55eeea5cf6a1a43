// The reader of iptables-save (iptables-nft-save, iptables-legacy-save).
// Whatever it cannot read becomes a condition that may or may not hold, or
// a verdict that may be anything: never a drop.

#include <algorithm>
#include <cstdlib>
#include <map>
#include <sstream>

#include "app/diagnosis/RulesetIptables.h"
#include "app/diagnosis/RulesetText.h"

namespace webfind {

using namespace ruleset;

namespace {

// The words of a line, as a shell would split them (iptables-save quotes
// comments and log prefixes).
std::vector<std::string> words(const std::string& line) {
    std::vector<std::string> found;
    std::string word;
    bool inWord = false, quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        char c = line[i];
        if (quoted) {
            if (c == '\\' && i + 1 < line.size()) {
                word += line[++i];
            } else if (c == '"') {
                quoted = false;
            } else {
                word += c;
            }
        } else if (c == '"') {
            quoted = inWord = true;
        } else if (c == ' ' || c == '\t') {
            if (inWord) found.push_back(word);
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord) found.push_back(word);
    return found;
}

// "80", "1024:65535", "22,80,1000:2000".
bool portRanges(const std::string& text, Ranges& ranges) {
    std::istringstream parts(text);
    for (std::string part; std::getline(parts, part, ',');) {
        size_t colon = part.find(':');
        char* end = nullptr;
        const std::string head = part.substr(0, colon);
        long first = colon == 0 ? 0 : std::strtol(head.c_str(), &end, 10);
        if (colon != 0 && (head.empty() || *end)) return false;
        long last = first;
        if (colon != std::string::npos) {
            const std::string tail = part.substr(colon + 1);
            last = tail.empty() ? 65535 : std::strtol(tail.c_str(), &end, 10);
            if (!tail.empty() && *end) return false;
        }
        if (first < 0 || last > 65535 || first > last) return false;
        ranges.emplace_back(static_cast<uint32_t>(first), static_cast<uint32_t>(last));
    }
    return !ranges.empty();
}

std::vector<std::string> commaWords(const std::string& text) {
    std::vector<std::string> found;
    std::istringstream parts(text);
    for (std::string part; std::getline(parts, part, ',');) found.push_back(lower(part));
    return found;
}

// The hooks of iptables' built-in chains, at the priorities iptables-nft
// gives them (the legacy tables sit at the same ones).
bool builtIn(const std::string& table, const std::string& chain, Chain::Hook& hook, int& priority) {
    struct Place {
        const char* table;
        const char* chain;
        Chain::Hook hook;
        int priority;
    };
    static const Place places[] = {
        {"raw", "PREROUTING", Chain::PREROUTING, -300},
        {"mangle", "PREROUTING", Chain::PREROUTING, -150},
        {"nat", "PREROUTING", Chain::PREROUTING, -100},
        {"mangle", "INPUT", Chain::INPUT, -150},
        {"filter", "INPUT", Chain::INPUT, 0},
        {"security", "INPUT", Chain::INPUT, 50},
        {"nat", "INPUT", Chain::INPUT, 100},
    };
    for (const Place& p : places)
        if (table == p.table && chain == p.chain) {
            hook = p.hook;
            priority = p.priority;
            return true;
        }
    return false;
}

// iptables' built-in chains on other hooks (forward, output, postrouting).
bool elsewhere(const std::string& chain) { return chain == "FORWARD" || chain == "OUTPUT" || chain == "POSTROUTING"; }

// A match option's value read into the words or ranges of its condition;
// false when the value is not one this reader understands.
using ReadValue = bool (*)(const std::string& value, Condition& c);

bool lowerWord(const std::string& value, Condition& c) {
    c.words = {lower(value)};
    return true;
}
bool wordList(const std::string& value, Condition& c) {
    c.words = commaWords(value);
    return true;
}
bool addresses(const std::string& value, Condition& c) {
    std::istringstream parts(value);
    for (std::string part; std::getline(parts, part, ',');) {
        std::pair<uint32_t, uint32_t> range;
        if (!addressRange(part, range)) return false;  // a name, or an IPv6 address
        c.ranges.push_back(range);
    }
    return !c.ranges.empty();
}
bool interfaceName(const std::string& value, Condition& c) {
    std::string name = value;
    if (!name.empty() && name.back() == '+') name.back() = '*';
    c.words = {name};
    return true;
}
bool ports(const std::string& value, Condition& c) { return portRanges(value, c.ranges); }
// "0x2a", "42", "0x2a/0xffffffff"; a mark under a narrower mask is not read.
bool mark(const std::string& value, Condition& c) {
    const size_t slash = value.find('/');
    char* end = nullptr;
    const unsigned long mark = std::strtoul(value.substr(0, slash).c_str(), &end, 0);
    if (*end || value.empty()) return false;
    if (slash != std::string::npos && std::strtoul(value.c_str() + slash + 1, nullptr, 0) != 0xFFFFFFFFul) return false;
    c.ranges.emplace_back(static_cast<uint32_t>(mark), static_cast<uint32_t>(mark));
    return true;
}

// The options this reader knows, each with the module it needs ("" for
// any), the field it asks of a packet and how its value is read; null: an
// option that asks nothing.
struct OptionReader {
    const char* name;
    const char* module;
    Condition::Field field;
    ReadValue read;
};
const OptionReader OPTIONS[] = {
    {"-p", "", Condition::PROTOCOL, lowerWord},
    {"--protocol", "", Condition::PROTOCOL, lowerWord},
    {"-s", "", Condition::SADDR, addresses},
    {"--source", "", Condition::SADDR, addresses},
    {"-d", "", Condition::DADDR, addresses},
    {"--destination", "", Condition::DADDR, addresses},
    {"-i", "", Condition::IIF, interfaceName},
    {"--in-interface", "", Condition::IIF, interfaceName},
    {"--dport", "", Condition::DPORT, ports},
    {"--destination-port", "", Condition::DPORT, ports},
    {"--dports", "", Condition::DPORT, ports},
    {"--destination-ports", "", Condition::DPORT, ports},
    {"--sport", "", Condition::SPORT, ports},
    {"--source-port", "", Condition::SPORT, ports},
    {"--sports", "", Condition::SPORT, ports},
    {"--source-ports", "", Condition::SPORT, ports},
    {"--ctstate", "", Condition::CT_STATE, wordList},
    {"--state", "", Condition::CT_STATE, wordList},
    {"--dst-type", "addrtype", Condition::DADDR_TYPE, wordList},
    {"--pkt-type", "pkttype", Condition::PKTTYPE, lowerWord},
    {"--ctstatus", "conntrack", Condition::CT_STATUS, wordList},
    {"--mark", "mark", Condition::MARK, mark},
    {"--mark", "connmark", Condition::CT_MARK, mark},
    {"--comment", "", Condition::UNREADABLE, nullptr},
};

const OptionReader* readerOf(const std::string& option, const std::string& module) {
    for (const OptionReader& r : OPTIONS)
        if (option == r.name && (!*r.module || module == r.module)) return &r;
    return nullptr;
}

// What a rule's target (-j, -g) does.
void readTarget(const std::string& option, const std::string& target, const std::vector<std::string>& chains,
                Rule& rule) {
    if (option == "-g" || option == "--goto") {
        rule.verdict = Rule::GOTO;
        rule.target = target;
    } else if (target == "ACCEPT") {
        rule.verdict = Rule::ACCEPT;
    } else if (target == "DROP") {
        rule.verdict = Rule::DROP;
    } else if (target == "REJECT") {
        rule.verdict = Rule::REJECT;
    } else if (target == "RETURN") {
        rule.verdict = Rule::RETURN;
    } else if (std::find(chains.begin(), chains.end(), target) != chains.end()) {
        rule.verdict = Rule::JUMP;
        rule.target = target;
    } else if (!goesOn(target)) {
        rule.verdict = Rule::UNKNOWN;
    }
    rule.setsMark = target == "MARK" || target == "CONNMARK";
}

// One rule of iptables-save, its words from `from` on: each option read by
// its reader; one this reader does not know may or may not hold.
Rule fromIptablesRule(const std::vector<std::string>& w, size_t from, const std::vector<std::string>& chains) {
    Rule rule;
    std::string module;
    bool negated = false;
    for (size_t i = from; i < w.size(); ++i) {
        const std::string& option = w[i];
        if (option == "!") {
            negated = true;
            continue;
        }
        if (option == "-j" || option == "--jump" || option == "-g" || option == "--goto") {
            readTarget(option, i + 1 < w.size() ? w[i + 1] : "", chains, rule);
            break;  // iptables-save writes the target, and its own options, last
        }
        if (option == "-m" || option == "--match") {
            module = i + 1 < w.size() ? w[++i] : "";
            continue;
        }
        if (option == "-c" || option == "--set-counters") {
            i += 2;
            continue;
        }
        const OptionReader* reader = readerOf(option, module);
        if (!reader) {
            // Its values are the words up to the next option.
            while (i + 1 < w.size() && w[i + 1] != "!" && w[i + 1].compare(0, 1, "-") != 0) ++i;
            rule.conditions.push_back(opaque());
            negated = false;
            continue;
        }
        // "! --dport 53" and "--dport ! 53" both negate.
        if (i + 1 < w.size() && w[i + 1] == "!") {
            negated = !negated;
            ++i;
        }
        const std::string value = i + 1 < w.size() ? w[++i] : std::string();
        if (reader->read) {
            Condition c = condition(reader->field, negated);
            rule.conditions.push_back(reader->read(value, c) ? c : opaque());
        }
        negated = false;
    }
    return rule;
}

}  // namespace

Ruleset rulesetFromIptablesSave(const std::string& text, Chain::Source source) {
    Ruleset ruleset;
    std::istringstream lines(text);
    std::string table;
    std::vector<std::string> chainNames;  // of the table being read
    std::map<std::string, size_t> chainAt;
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        // "# Table `filter' contains incompatible base-chains, use 'nft' tool
        // to list them.": a table of nft's own, shown with empty chains.
        const std::string incompatible = " contains incompatible base-chains";
        if (!line.empty() && line[0] == '#' && line.find(incompatible) != std::string::npos) {
            const size_t open = line.find('`'), close = line.find('\'', open + 1);
            if (open != std::string::npos && close != std::string::npos)
                ruleset.incompatibleTables.push_back("ip " + line.substr(open + 1, close - open - 1));
        }
        if (line.empty() || line[0] == '#') continue;
        if (line[0] == '*') {
            table = line.substr(1);
            ruleset.iptablesTables.push_back("ip " + table);
            chainNames.clear();
            chainAt.clear();
            // The table's chains are declared before its rules.
            const std::streamoff at = lines.tellg();
            std::istringstream ahead(at < 0 ? std::string() : text.substr(static_cast<size_t>(at)));
            for (std::string next; std::getline(ahead, next) && next != "COMMIT";)
                if (!next.empty() && next[0] == ':') chainNames.push_back(next.substr(1, next.find(' ') - 1));
            continue;
        }
        if (line[0] == ':') {
            std::vector<std::string> w = words(line.substr(1));
            if (w.empty() || elsewhere(w[0])) continue;
            Chain chain;
            chain.source = source;
            chain.family = "ip";
            chain.table = table;
            chain.name = w[0];
            if (builtIn(table, chain.name, chain.hook, chain.priority)) {
                chain.base = true;
                chain.policy = w.size() > 1 && w[1] == "DROP" ? Rule::DROP : Rule::ACCEPT;
            } else if (w.size() > 1 && w[1] != "-") {
                continue;  // a built-in chain of another path
            }
            chainAt[chain.name] = ruleset.chains.size();
            ruleset.chains.push_back(std::move(chain));
            continue;
        }
        std::vector<std::string> w = words(line);
        if (w.size() < 2 || (w[0] != "-A" && w[0] != "--append")) continue;
        auto at = chainAt.find(w[1]);
        if (at == chainAt.end()) continue;
        Rule rule = fromIptablesRule(w, 2, chainNames);
        rule.text = line;
        ruleset.chains[at->second].rules.push_back(std::move(rule));
    }
    return ruleset;
}

}  // namespace webfind
