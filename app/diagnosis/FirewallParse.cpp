// The readers of nft's JSON and listing and of iptables-save. Whatever they
// cannot read becomes a condition that may or may not hold, or a verdict
// that may be anything: never a drop.

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <map>
#include <sstream>

#include <nlohmann/json.hpp>

#include "app/base/Address.h"
#include "app/diagnosis/Firewall.h"

namespace webfind {

namespace {

using nlohmann::json;
using Ranges = std::vector<std::pair<uint32_t, uint32_t>>;

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

Condition opaque() { return Condition{}; }

Condition condition(Condition::Field field, bool negated) {
    Condition c;
    c.field = field;
    c.negated = negated;
    return c;
}

// "192.168.1.0" in host order; false when it is not a dotted quad.
bool ipv4(const std::string& text, uint32_t& address) {
    Address parsed;
    if (!parseDottedQuad(text, parsed)) return false;
    address = 0;
    for (uint8_t byte : parsed.bytes) address = address << 8 | byte;
    return true;
}

std::pair<uint32_t, uint32_t> prefixRange(uint32_t address, int length) {
    if (length <= 0) return {0, 0xFFFFFFFF};
    uint32_t mask = length >= 32 ? 0xFFFFFFFF : ~(0xFFFFFFFFu >> length);
    return {address & mask, (address & mask) | ~mask};
}

// "10.0.0.0/8", "10.1.2.3", "10.0.0.0/255.0.0.0".
bool addressRange(const std::string& text, std::pair<uint32_t, uint32_t>& range) {
    size_t slash = text.find('/');
    uint32_t address = 0;
    if (!ipv4(text.substr(0, slash), address)) return false;
    if (slash == std::string::npos) {
        range = {address, address};
        return true;
    }
    const std::string length = text.substr(slash + 1);
    uint32_t mask = 0;
    if (ipv4(length, mask)) {
        int bits = 0;
        while (bits < 32 && (mask & (0x80000000u >> bits))) ++bits;
        range = prefixRange(address, bits);
        return true;
    }
    char* end = nullptr;
    long bits = std::strtol(length.c_str(), &end, 10);
    if (*end || bits < 0 || bits > 32) return false;
    range = prefixRange(address, static_cast<int>(bits));
    return true;
}

// nft's JSON --------------------------------------------------------------

// The values of a match's right side: numbers, strings, ranges, prefixes
// and sets of them. False for what is not one of those (a named set).
bool values(const json& right, std::vector<std::string>& words, Ranges& ranges) {
    if (right.is_number_unsigned() || right.is_number_integer()) {
        long long n = right.get<long long>();
        if (n < 0 || n > 0xFFFFFFFFLL) return false;
        words.push_back(std::to_string(n));
        ranges.emplace_back(static_cast<uint32_t>(n), static_cast<uint32_t>(n));
        return true;
    }
    if (right.is_string()) {
        const std::string text = right.get<std::string>();
        if (!text.empty() && text[0] == '@') return false;  // a named set
        words.push_back(text);
        std::pair<uint32_t, uint32_t> range;
        if (addressRange(text, range)) ranges.push_back(range);
        return true;
    }
    if (right.is_array()) {
        for (const json& element : right)
            if (!values(element, words, ranges)) return false;
        return true;
    }
    if (!right.is_object()) return false;
    if (right.contains("set")) return values(right["set"], words, ranges);
    if (right.contains("range") && right["range"].is_array() && right["range"].size() == 2) {
        Ranges ends;
        std::vector<std::string> ignored;
        if (!values(right["range"][0], ignored, ends) || !values(right["range"][1], ignored, ends) || ends.size() != 2)
            return false;
        ranges.emplace_back(ends[0].first, ends[1].second);
        return true;
    }
    if (right.contains("prefix")) {
        const json& p = right["prefix"];
        uint32_t address = 0;
        if (!p.contains("addr") || !p["addr"].is_string() || !ipv4(p["addr"].get<std::string>(), address)) return false;
        if (!p.contains("len") || !p["len"].is_number_integer()) return false;
        ranges.push_back(prefixRange(address, p["len"].get<int>()));
        return true;
    }
    return false;
}

// What a match's left side names.
Condition::Field fieldOf(const json& left, std::string& impliedProtocol) {
    if (!left.is_object()) return Condition::UNREADABLE;
    if (left.contains("payload")) {
        const json& p = left["payload"];
        const std::string protocol = p.value("protocol", ""), field = p.value("field", "");
        if (protocol == "udp" || protocol == "th") {
            if (field == "dport") return Condition::DPORT;
            if (field == "sport") return Condition::SPORT;
            return Condition::UNREADABLE;
        }
        if (protocol == "ip") {
            if (field == "saddr") return Condition::SADDR;
            if (field == "daddr") return Condition::DADDR;
            if (field == "protocol") return Condition::PROTOCOL;
            return Condition::UNREADABLE;
        }
        if (protocol == "ip6") {
            impliedProtocol = "ipv6";
            return Condition::FAMILY;
        }
        // A header of another protocol: the rule is about that protocol.
        if (protocol == "tcp" || protocol == "sctp" || protocol == "dccp" || protocol == "icmp" ||
            protocol == "icmpv6" || protocol == "udplite" || protocol == "ah" || protocol == "esp" ||
            protocol == "comp" || protocol == "igmp") {
            impliedProtocol = protocol;
            return Condition::PROTOCOL;
        }
        return Condition::UNREADABLE;
    }
    if (left.contains("meta")) {
        const std::string key = left["meta"].value("key", "");
        if (key == "l4proto") return Condition::PROTOCOL;
        if (key == "iif" || key == "iifname") return Condition::IIF;
        if (key == "nfproto") return Condition::FAMILY;
        if (key == "pkttype") return Condition::PKTTYPE;
        return Condition::UNREADABLE;
    }
    if (left.contains("ct")) return left["ct"].value("key", "") == "state" ? Condition::CT_STATE : Condition::UNREADABLE;
    if (left.contains("fib")) {
        const json& fib = left["fib"];
        if (fib.value("result", "") != "type" || !fib.contains("flags")) return Condition::UNREADABLE;
        const json& flags = fib["flags"];
        bool daddr = flags.is_array() ? std::find(flags.begin(), flags.end(), "daddr") != flags.end() : flags == "daddr";
        return daddr ? Condition::DADDR_TYPE : Condition::UNREADABLE;
    }
    return Condition::UNREADABLE;
}

Condition fromMatch(const json& match) {
    std::string implied;
    const Condition::Field field = fieldOf(match.value("left", json()), implied);
    Condition c = condition(field, false);
    if (field == Condition::UNREADABLE) return c;
    if (!implied.empty()) {
        // "tcp dport 22" holds only for TCP, whatever the comparison.
        c.words = {implied == "ipv6" ? "ipv6" : implied};
        return c;
    }
    const std::string op = match.value("op", "==");
    std::vector<std::string> words;
    Ranges ranges;
    if (!match.contains("right") || !values(match["right"], words, ranges)) return opaque();
    if (field == Condition::DPORT || field == Condition::SPORT) {
        if (ranges.empty()) return opaque();  // a service name
        if (op == "<" || op == "<=" || op == ">" || op == ">=") {
            if (ranges.size() != 1) return opaque();
            uint32_t n = ranges[0].first;
            if (op == "<") ranges = {{0, n ? n - 1 : 0}};
            if (op == "<=") ranges = {{0, n}};
            if (op == ">") ranges = {{n + 1, 65535}};
            if (op == ">=") ranges = {{n, 65535}};
            if (op == "<" && n == 0) return condition(Condition::PROTOCOL, false);  // no protocol: holds for nothing
        }
    } else if (op != "==" && op != "!=" && op != "in") {
        return opaque();
    }
    if (field == Condition::SADDR || field == Condition::DADDR) {
        std::pair<uint32_t, uint32_t> range;
        for (const std::string& w : words)
            if (!addressRange(w, range)) return opaque();  // a name, or an IPv6 address
    }
    c.negated = op == "!=";
    c.ranges = ranges;
    for (std::string& w : words) c.words.push_back(lower(w));
    // nft writes the IPv4 family as "ip" where it is the packet's family.
    for (std::string& w : c.words)
        if (field == Condition::FAMILY && w == "ip") w = "ipv4";
    return c;
}

// iptables' targets that note, mark or count and then go on.
bool goesOn(const std::string& target) {
    static const char* const onward[] = {"LOG", "NFLOG", "ULOG", "MARK", "CONNMARK", "CT", "NOTRACK", "TRACE",
                                         "TCPMSS", "AUDIT", "CLASSIFY", "DSCP", "TOS", "TTL", "SET", "LED",
                                         "CONNSECMARK", "SECMARK", "HMARK", "IDLETIMER", "RATEEST"};
    return std::find(std::begin(onward), std::end(onward), target) != std::end(onward);
}

Rule fromNftRule(const json& expr) {
    Rule rule;
    if (!expr.is_array()) {
        rule.verdict = Rule::UNKNOWN;
        return rule;
    }
    for (const json& e : expr) {
        if (!e.is_object() || e.empty()) continue;
        const std::string kind = e.begin().key();
        const json& body = e.begin().value();
        if (kind == "match") {
            rule.conditions.push_back(fromMatch(body));
        } else if (kind == "accept") {
            rule.verdict = Rule::ACCEPT;
        } else if (kind == "drop") {
            rule.verdict = Rule::DROP;
        } else if (kind == "reject") {
            rule.verdict = Rule::REJECT;
        } else if (kind == "return") {
            rule.verdict = Rule::RETURN;
        } else if (kind == "jump" || kind == "goto") {
            rule.verdict = kind == "jump" ? Rule::JUMP : Rule::GOTO;
            rule.target = body.is_object() ? body.value("target", "") : "";
        } else if (kind == "continue" || kind == "counter" || kind == "log" || kind == "mangle" || kind == "notrack" ||
                   kind == "set" || kind == "meta" || kind == "ct") {
            // Notes, counts, marks: the rule goes on.
        } else if (kind == "limit" || kind == "quota" || kind == "ct count" || kind == "connlimit") {
            rule.conditions.push_back(opaque());  // holds only for some packets
        } else if (kind == "xt") {
            if (body.is_object() && body.value("type", "") == "target") {
                if (!goesOn(body.value("name", ""))) rule.verdict = Rule::UNKNOWN;
            } else {
                rule.conditions.push_back(opaque());
            }
        } else {
            // A verdict map, a queue, something newer than this reader.
            rule.conditions.push_back(opaque());
            if (kind == "vmap" || kind == "queue") rule.verdict = Rule::UNKNOWN;
        }
    }
    return rule;
}

// The listing: each rule's text by its handle ("family table chain handle").
std::map<std::string, std::string> ruleTexts(const std::string& listing) {
    std::map<std::string, std::string> texts;
    std::istringstream lines(listing);
    std::string family, table, chain;
    for (std::string line; std::getline(lines, line);) {
        size_t start = line.find_first_not_of(" \t");
        if (start == std::string::npos) continue;
        std::string text = line.substr(start);
        std::istringstream words(text);
        std::string first;
        words >> first;
        if (first == "table") {
            words >> family >> table;
            continue;
        }
        if (first == "chain") {
            words >> chain;
            continue;
        }
        size_t handle = text.rfind(" # handle ");
        if (handle == std::string::npos || first == "type") continue;
        texts[family + " " + table + " " + chain + " " + text.substr(handle + 10)] = text.substr(0, handle);
    }
    return texts;
}

// iptables-save ------------------------------------------------------------

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
        {"raw", "PREROUTING", Chain::PREROUTING, -300}, {"mangle", "PREROUTING", Chain::PREROUTING, -150},
        {"nat", "PREROUTING", Chain::PREROUTING, -100}, {"mangle", "INPUT", Chain::INPUT, -150},
        {"filter", "INPUT", Chain::INPUT, 0},          {"security", "INPUT", Chain::INPUT, 50},
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

Rule fromIptablesRule(const std::vector<std::string>& w, size_t from, const std::vector<std::string>& chains) {
    Rule rule;
    std::string module;
    bool negated = false;
    auto value = [&](size_t& i) -> std::string {
        if (i + 1 < w.size() && w[i + 1] == "!") {
            negated = !negated;
            ++i;
        }
        return i + 1 < w.size() ? w[++i] : std::string();
    };
    auto add = [&](Condition c) {
        rule.conditions.push_back(std::move(c));
        negated = false;
    };
    for (size_t i = from; i < w.size(); ++i) {
        const std::string& t = w[i];
        if (t == "!") {
            negated = true;
            continue;
        }
        if (t == "-j" || t == "--jump" || t == "-g" || t == "--goto") {
            const std::string target = i + 1 < w.size() ? w[i + 1] : "";
            if (t == "-g" || t == "--goto") {
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
            break;  // iptables-save writes the target, and its own options, last
        }
        if (t == "-m" || t == "--match") {
            module = i + 1 < w.size() ? w[++i] : "";
            continue;
        }
        if (t == "-c" || t == "--set-counters") {
            i += 2;
            continue;
        }
        if (t == "-p" || t == "--protocol") {
            Condition c = condition(Condition::PROTOCOL, negated);
            c.words = {lower(value(i))};
            c.negated = negated;
            add(c);
        } else if (t == "-s" || t == "--source" || t == "-d" || t == "--destination") {
            Condition c = condition(t == "-s" || t == "--source" ? Condition::SADDR : Condition::DADDR, negated);
            const std::string text = value(i);
            c.negated = negated;
            std::istringstream parts(text);
            bool read = true;
            for (std::string part; std::getline(parts, part, ',');) {
                std::pair<uint32_t, uint32_t> range;
                read = read && addressRange(part, range);
                c.ranges.push_back(range);
            }
            add(read ? c : opaque());
        } else if (t == "-i" || t == "--in-interface") {
            Condition c = condition(Condition::IIF, negated);
            std::string name = value(i);
            c.negated = negated;
            if (!name.empty() && name.back() == '+') name.back() = '*';
            c.words = {name};
            add(c);
        } else if (t == "--dport" || t == "--destination-port" || t == "--dports" || t == "--destination-ports" ||
                   t == "--sport" || t == "--source-port" || t == "--sports" || t == "--source-ports") {
            const bool destination = t.find("--d") == 0;
            Condition c = condition(destination ? Condition::DPORT : Condition::SPORT, negated);
            const std::string text = value(i);
            c.negated = negated;
            add(portRanges(text, c.ranges) ? c : opaque());
        } else if (t == "--ctstate" || t == "--state") {
            Condition c = condition(Condition::CT_STATE, negated);
            c.words = commaWords(value(i));
            c.negated = negated;
            add(c);
        } else if (t == "--dst-type" && module == "addrtype") {
            Condition c = condition(Condition::DADDR_TYPE, negated);
            c.words = commaWords(value(i));
            c.negated = negated;
            add(c);
        } else if (t == "--pkt-type" && module == "pkttype") {
            Condition c = condition(Condition::PKTTYPE, negated);
            c.words = {lower(value(i))};
            c.negated = negated;
            add(c);
        } else if (t == "--comment") {
            value(i);
            negated = false;
        } else {
            // An option this reader does not know: it may or may not hold.
            // Its values are the words up to the next option.
            while (i + 1 < w.size() && w[i + 1] != "!" && w[i + 1].compare(0, 1, "-") != 0) ++i;
            add(opaque());
        }
    }
    return rule;
}

}  // namespace

Ruleset rulesetFromNft(const std::string& text, const std::string& listing, const std::vector<std::string>& leaveOut) {
    Ruleset ruleset;
    const std::map<std::string, std::string> texts = ruleTexts(listing);
    json document = json::parse(text, nullptr, false);
    if (!document.is_object() || !document.contains("nftables") || !document["nftables"].is_array()) return ruleset;
    auto wanted = [&](const json& o) {
        const std::string family = o.value("family", "");
        if (family != "ip" && family != "inet") return false;  // the answers are IPv4
        return std::find(leaveOut.begin(), leaveOut.end(), family + " " + o.value("table", "")) == leaveOut.end();
    };
    std::map<std::string, size_t> chainAt;
    for (const json& item : document["nftables"]) {
        if (!item.is_object() || !item.contains("chain")) continue;
        const json& c = item["chain"];
        if (!wanted(c)) continue;
        Chain chain;
        chain.source = Chain::NFTABLES;
        chain.family = c.value("family", "");
        chain.table = c.value("table", "");
        chain.name = c.value("name", "");
        if (c.contains("hook")) {
            const std::string hook = c.value("hook", "");
            if (hook != "input" && hook != "prerouting") continue;  // another path than the answers'
            chain.base = true;
            chain.hook = hook == "input" ? Chain::INPUT : Chain::PREROUTING;
            chain.priority = c.contains("prio") && c["prio"].is_number_integer() ? c["prio"].get<int>() : 0;
            chain.policy = c.value("policy", "accept") == "drop" ? Rule::DROP : Rule::ACCEPT;
        }
        chainAt[chain.family + " " + chain.table + " " + chain.name] = ruleset.chains.size();
        ruleset.chains.push_back(std::move(chain));
    }
    for (const json& item : document["nftables"]) {
        if (!item.is_object() || !item.contains("rule")) continue;
        const json& r = item["rule"];
        if (!wanted(r)) continue;
        const std::string where = r.value("family", "") + " " + r.value("table", "") + " " + r.value("chain", "");
        auto at = chainAt.find(where);
        if (at == chainAt.end()) continue;
        Rule rule = fromNftRule(r.value("expr", json()));
        const std::string handle = r.contains("handle") ? r["handle"].dump() : "?";
        auto text = texts.find(where + " " + handle);
        rule.text = text != texts.end() ? text->second : "the rule with handle " + handle;
        ruleset.chains[at->second].rules.push_back(std::move(rule));
    }
    return ruleset;
}

Ruleset rulesetFromIptablesSave(const std::string& text, Chain::Source source) {
    Ruleset ruleset;
    std::istringstream lines(text);
    std::string table;
    std::vector<std::string> chainNames;  // of the table being read
    std::map<std::string, size_t> chainAt;
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
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
