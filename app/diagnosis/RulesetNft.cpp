// The reader of nftables' ruleset: "nft -j list ruleset", with the texts of
// the rules (and the devices of ingress chains) from "nft -a list ruleset".
// Whatever it cannot read becomes a condition that may or may not hold, or
// a verdict that may be anything: never a drop.

#include <algorithm>
#include <map>
#include <optional>
#include <sstream>

#include <nlohmann/json.hpp>

#include "app/diagnosis/RulesetNft.h"
#include "app/diagnosis/RulesetText.h"

namespace webfind {

using namespace ruleset;

namespace {

using nlohmann::json;

// The fields a match's left side may name, as nft writes them: the
// expression ("payload", "meta", "ct"), its protocol (payloads only) and its
// field or key.
struct FieldName {
    const char* expression;
    const char* protocol;
    const char* name;
    Condition::Field is;
};
const FieldName FIELDS[] = {
    {"payload", "udp", "dport", Condition::DPORT},
    {"payload", "udp", "sport", Condition::SPORT},
    {"payload", "th", "dport", Condition::DPORT},
    {"payload", "th", "sport", Condition::SPORT},
    {"payload", "ip", "saddr", Condition::SADDR},
    {"payload", "ip", "daddr", Condition::DADDR},
    {"payload", "ip", "protocol", Condition::PROTOCOL},
    {"meta", "", "l4proto", Condition::PROTOCOL},
    {"meta", "", "iif", Condition::IIF},
    {"meta", "", "iifname", Condition::IIF},
    {"meta", "", "nfproto", Condition::FAMILY},
    {"meta", "", "pkttype", Condition::PKTTYPE},
    {"meta", "", "mark", Condition::MARK},
    {"ct", "", "state", Condition::CT_STATE},
    {"ct", "", "status", Condition::CT_STATUS},
    {"ct", "", "mark", Condition::CT_MARK},
};

// Headers of other protocols than UDP: a match on one holds only for it.
const char* const OTHER_HEADERS[] = {"tcp", "sctp", "dccp", "icmp", "icmpv6", "udplite", "ah", "esp", "comp", "igmp"};

// What each statement of a rule does to it, beside matches.
enum class Statement { VERDICT, JUMP, MANGLE, NOTE, SOME_PACKETS, XT, UNKNOWN };
struct StatementKind {
    const char* kind;
    Statement does;
    Rule::Verdict verdict;  // of a VERDICT, JUMP
};
const StatementKind STATEMENTS[] = {
    {"accept", Statement::VERDICT, Rule::ACCEPT},
    {"drop", Statement::VERDICT, Rule::DROP},
    {"reject", Statement::VERDICT, Rule::REJECT},
    {"return", Statement::VERDICT, Rule::RETURN},
    {"jump", Statement::JUMP, Rule::JUMP},
    {"goto", Statement::JUMP, Rule::GOTO},
    // meta mark set, ct mark set: packets are marked from here on.
    {"mangle", Statement::MANGLE, Rule::UNKNOWN},
    // Notes, counts: the rule goes on.
    {"continue", Statement::NOTE, Rule::UNKNOWN},
    {"counter", Statement::NOTE, Rule::UNKNOWN},
    {"log", Statement::NOTE, Rule::UNKNOWN},
    {"notrack", Statement::NOTE, Rule::UNKNOWN},
    {"set", Statement::NOTE, Rule::UNKNOWN},
    {"meta", Statement::NOTE, Rule::UNKNOWN},
    {"ct", Statement::NOTE, Rule::UNKNOWN},
    // Each holds only for some packets.
    {"limit", Statement::SOME_PACKETS, Rule::UNKNOWN},
    {"quota", Statement::SOME_PACKETS, Rule::UNKNOWN},
    {"ct count", Statement::SOME_PACKETS, Rule::UNKNOWN},
    {"connlimit", Statement::SOME_PACKETS, Rule::UNKNOWN},
    {"xt", Statement::XT, Rule::UNKNOWN},
};

Statement statementOf(const std::string& kind, Rule::Verdict& verdict) {
    for (const StatementKind& s : STATEMENTS)
        if (kind == s.kind) {
            verdict = s.verdict;
            return s.does;
        }
    return Statement::UNKNOWN;
}

// A "fib daddr type" match: whether the destination is local, multicast...
Condition::Field fibField(const json& fib) {
    if (fib.value("result", "") != "type" || !fib.contains("flags")) return Condition::UNREADABLE;
    const json& flags = fib["flags"];
    bool daddr = flags.is_array() ? std::find(flags.begin(), flags.end(), "daddr") != flags.end() : flags == "daddr";
    return daddr ? Condition::DADDR_TYPE : Condition::UNREADABLE;
}

// What a match's left side names.
Condition::Field fieldOf(const json& left, std::string& impliedProtocol) {
    if (!left.is_object()) return Condition::UNREADABLE;
    if (left.contains("fib")) return fibField(left["fib"]);
    for (const std::string expression : {"payload", "meta", "ct"}) {
        if (!left.contains(expression)) continue;
        const json& e = left[expression];
        const std::string protocol = e.value("protocol", "");
        const std::string name = e.value(expression == "payload" ? "field" : "key", "");
        for (const FieldName& f : FIELDS)
            if (expression == f.expression && protocol == f.protocol && name == f.name) return f.is;
        if (expression != "payload") return Condition::UNREADABLE;
        if (protocol == "ip6") {
            impliedProtocol = "ipv6";
            return Condition::FAMILY;
        }
        // A header of another protocol: the rule is about that protocol.
        for (const char* other : OTHER_HEADERS)
            if (protocol == other) {
                impliedProtocol = protocol;
                return Condition::PROTOCOL;
            }
        return Condition::UNREADABLE;
    }
    return Condition::UNREADABLE;
}

// An address prefix ("10.0.0.0/8") as the range it covers.
bool prefixValue(const json& p, Ranges& ranges) {
    uint32_t address = 0;
    if (!p.contains("addr") || !p["addr"].is_string() || !ipv4(p["addr"].get<std::string>(), address)) return false;
    if (!p.contains("len") || !p["len"].is_number_integer()) return false;
    ranges.push_back(prefixRange(address, p["len"].get<int>()));
    return true;
}

// A port compared by order ("udp dport < 1024") as the range it holds for;
// false for what is no single number.
bool orderedPorts(const std::string& op, Ranges& ranges) {
    if (op != "<" && op != "<=" && op != ">" && op != ">=") return true;
    if (ranges.size() != 1) return false;
    const uint32_t n = ranges[0].first;
    if (op == "<") ranges = {{0, n ? n - 1 : 0}};
    if (op == "<=") ranges = {{0, n}};
    if (op == ">") ranges = {{n + 1, 65535}};
    if (op == ">=") ranges = {{n, 65535}};
    return true;
}

// What a match is taken as where its comparison cannot be judged here: an
// opaque condition (a service name, a host name, an IPv6 address, an order
// on what is not a port), or one that holds for nothing (a port below 0).
// Nothing where it can.
std::optional<Condition> unjudged(Condition::Field field, const std::string& op, const std::vector<std::string>& words,
                                  Ranges& ranges) {
    if (field == Condition::DPORT || field == Condition::SPORT) {
        if (ranges.empty()) return opaque();  // a service name
        if (op == "<" && ranges.size() == 1 && ranges[0].first == 0)
            return condition(Condition::PROTOCOL, false);  // no protocol: holds for nothing
        if (!orderedPorts(op, ranges)) return opaque();
    } else if (op != "==" && op != "!=" && op != "in") {
        return opaque();
    }
    if (field == Condition::SADDR || field == Condition::DADDR) {
        std::pair<uint32_t, uint32_t> range;
        for (const std::string& w : words)
            if (!addressRange(w, range)) return opaque();  // a name, or an IPv6 address
    }
    if ((field == Condition::MARK || field == Condition::CT_MARK) && ranges.empty()) return opaque();
    return std::nullopt;
}

// "family table name" of a chain, a rule's chain, or a set.
std::string place(const json& o, const char* nameKey) {
    return o.value("family", "") + " " + o.value("table", "") + " " + o.value(nameKey, "");
}

// What "nft -a list ruleset" says that the JSON does not: each rule's text
// by "family table chain handle", and each ingress chain's device.
struct Listing {
    std::map<std::string, std::string> texts;
    std::map<std::string, std::string> devices;  // by "family table chain"

    explicit Listing(const std::string& listing) {
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
            if (first == "type") {
                // type filter hook ingress device "eth0" priority 0; policy accept;
                const size_t device = text.find(" device ");
                if (device != std::string::npos) {
                    std::string name;
                    std::istringstream(text.substr(device + 8)) >> name;
                    name.erase(std::remove(name.begin(), name.end(), '"'), name.end());
                    devices[family + " " + table + " " + chain] = name;
                }
                continue;
            }
            size_t handle = text.rfind(" # handle ");
            if (handle == std::string::npos) continue;
            texts[family + " " + table + " " + chain + " " + text.substr(handle + 10)] = text.substr(0, handle);
        }
    }
};

class NftReader {
public:
    NftReader(const json& items, const std::string& listing) : listing(listing) {
        for (const json& item : items)
            if (item.is_object() && item.contains("set") && item["set"].is_object() && item["set"].contains("elem"))
                sets[place(item["set"], "name")] = item["set"]["elem"];
    }

    Ruleset read(const json& items) {
        Ruleset ruleset;
        std::map<std::string, size_t> chainAt;
        for (const json& item : items) {
            if (!item.is_object() || !item.contains("chain")) continue;
            Chain chain;
            if (readChain(item["chain"], chain)) {
                chainAt[chain.family + " " + chain.table + " " + chain.name] = ruleset.chains.size();
                ruleset.chains.push_back(std::move(chain));
            }
        }
        for (const json& item : items) {
            if (!item.is_object() || !item.contains("rule")) continue;
            const json& r = item["rule"];
            const std::string where = place(r, "chain");
            auto at = chainAt.find(where);
            if (at == chainAt.end()) continue;
            bool xt = false;
            const std::string table = r.value("family", "") + " " + r.value("table", "");
            currentTable = table;
            Rule rule = readRule(r.value("expr", json()), xt);
            if (xt) {
                if (std::find(ruleset.xtTables.begin(), ruleset.xtTables.end(), table) == ruleset.xtTables.end())
                    ruleset.xtTables.push_back(table);
            }
            const std::string handle = r.contains("handle") ? r["handle"].dump() : "?";
            auto text = listing.texts.find(where + " " + handle);
            rule.text = text != listing.texts.end() ? text->second : "the rule with handle " + handle;
            ruleset.chains[at->second].rules.push_back(std::move(rule));
        }
        return ruleset;
    }

private:
    // The families an IPv4 answer meets, and the hooks on its way in.
    bool readChain(const json& c, Chain& chain) {
        chain.source = Chain::NFTABLES;
        chain.family = c.value("family", "");
        chain.table = c.value("table", "");
        chain.name = c.value("name", "");
        if (chain.family != "ip" && chain.family != "inet" && chain.family != "netdev") return false;
        if (!c.contains("hook")) return true;
        const std::string hook = c.value("hook", "");
        if (hook == "ingress") {
            chain.hook = Chain::INGRESS;
            auto device = listing.devices.find(chain.family + " " + chain.table + " " + chain.name);
            if (device != listing.devices.end()) chain.device = device->second;
            if (c.contains("dev") && c["dev"].is_string()) chain.device = c["dev"].get<std::string>();
        } else if (hook == "prerouting") {
            chain.hook = Chain::PREROUTING;
        } else if (hook == "input") {
            chain.hook = Chain::INPUT;
        } else {
            return false;  // another path than the answers'
        }
        chain.base = true;
        chain.priority = c.contains("prio") && c["prio"].is_number_integer() ? c["prio"].get<int>() : 0;
        chain.policy = c.value("policy", "accept") == "drop" ? Rule::DROP : Rule::ACCEPT;
        return true;
    }

    // The values of a match's right side: numbers, strings, ranges, prefixes
    // and sets of them, a named set by its elements. False for what is not
    // one of those (a set whose elements are not listed).
    bool values(const json& right, std::vector<std::string>& words, Ranges& ranges, int depth = 0) const {
        if (depth > 8) return false;
        if (right.is_number_unsigned() || right.is_number_integer()) {
            long long n = right.get<long long>();
            if (n < 0 || n > 0xFFFFFFFFLL) return false;
            words.push_back(std::to_string(n));
            ranges.emplace_back(static_cast<uint32_t>(n), static_cast<uint32_t>(n));
            return true;
        }
        if (right.is_string()) {
            const std::string text = right.get<std::string>();
            if (!text.empty() && text[0] == '@') return namedSet(text.substr(1), words, ranges, depth);
            words.push_back(text);
            std::pair<uint32_t, uint32_t> range;
            if (addressRange(text, range)) ranges.push_back(range);
            return true;
        }
        if (right.is_array()) {
            for (const json& element : right)
                if (!values(element, words, ranges, depth + 1)) return false;
            return true;
        }
        return right.is_object() && objectValues(right, words, ranges, depth);
    }

    // The values of a set, an element, a range or a prefix.
    bool objectValues(const json& right, std::vector<std::string>& words, Ranges& ranges, int depth) const {
        if (right.contains("set")) return values(right["set"], words, ranges, depth + 1);
        // An element with its own timeout: its value.
        if (right.contains("elem") && right["elem"].is_object() && right["elem"].contains("val"))
            return values(right["elem"]["val"], words, ranges, depth + 1);
        if (right.contains("range") && right["range"].is_array() && right["range"].size() == 2) {
            Ranges ends;
            std::vector<std::string> ignored;
            if (!values(right["range"][0], ignored, ends, depth + 1) ||
                !values(right["range"][1], ignored, ends, depth + 1) || ends.size() != 2)
                return false;
            ranges.emplace_back(ends[0].first, ends[1].second);
            return true;
        }
        return right.contains("prefix") && prefixValue(right["prefix"], ranges);
    }

    // A set of the rule's own table, as its elements are now: the blocklists
    // that fail2ban and crowdsec keep are such sets.
    bool namedSet(const std::string& name, std::vector<std::string>& words, Ranges& ranges, int depth) const {
        auto found = sets.find(currentTable + " " + name);
        return found != sets.end() && values(found->second, words, ranges, depth + 1);
    }

    Condition fromMatch(const json& match) const {
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
        if (std::optional<Condition> instead = unjudged(field, op, words, ranges)) return *instead;
        c.negated = op == "!=";
        c.ranges = ranges;
        const json& right = match["right"];
        if (right.is_string() && right.get<std::string>().rfind('@', 0) == 0)
            c.set = right.get<std::string>().substr(1);
        for (std::string& w : words) c.words.push_back(lower(w));
        // nft writes the IPv4 family as "ip" where it is the packet's family.
        for (std::string& w : c.words)
            if (field == Condition::FAMILY && w == "ip") w = "ipv4";
        return c;
    }

    // A rule; `xt` says it holds iptables-nft's own matches or targets.
    Rule readRule(const json& expr, bool& xt) {
        Rule rule;
        if (!expr.is_array()) {
            rule.verdict = Rule::UNKNOWN;
            return rule;
        }
        for (const json& e : expr) {
            if (!e.is_object() || e.empty()) continue;
            const std::string kind = e.begin().key();
            if (kind == "match")
                rule.conditions.push_back(fromMatch(e.begin().value()));
            else
                readStatement(kind, e.begin().value(), rule, xt);
        }
        return rule;
    }

    static void readStatement(const std::string& kind, const json& body, Rule& rule, bool& xt) {
        Rule::Verdict verdict = Rule::UNKNOWN;
        switch (statementOf(kind, verdict)) {
        case Statement::VERDICT: rule.verdict = verdict; break;
        case Statement::JUMP:
            rule.verdict = verdict;
            rule.target = body.is_object() ? body.value("target", "") : "";
            break;
        case Statement::MANGLE: rule.setsMark = rule.setsMark || setsMark(body); break;
        case Statement::NOTE: break;
        case Statement::SOME_PACKETS: rule.conditions.push_back(opaque()); break;
        case Statement::XT: {
            xt = true;
            const std::string name = body.is_object() ? body.value("name", "") : "";
            if (body.is_object() && body.value("type", "") == "target") {
                if (!goesOn(name)) rule.verdict = Rule::UNKNOWN;
                rule.setsMark = rule.setsMark || name == "MARK" || name == "CONNMARK";
            } else {
                rule.conditions.push_back(opaque());
            }
            break;
        }
        case Statement::UNKNOWN:
            // A verdict map, a queue, something newer than this reader.
            rule.conditions.push_back(opaque());
            if (kind == "vmap" || kind == "queue") rule.verdict = Rule::UNKNOWN;
            break;
        }
    }

    // A "mangle" statement that sets the packet's or the connection's mark.
    static bool setsMark(const json& body) {
        const json& key = body.is_object() ? body.value("key", json()) : json();
        return key.is_object() && ((key.contains("meta") && key["meta"].value("key", "") == "mark") ||
                                   (key.contains("ct") && key["ct"].value("key", "") == "mark"));
    }

    const Listing listing;
    std::map<std::string, json> sets;  // their elements, by "family table name"
    std::string currentTable;          // "family table" of the rule being read, for its sets
};

}  // namespace

Ruleset rulesetFromNft(const std::string& text, const std::string& listing) {
    json document = json::parse(text, nullptr, false);
    if (!document.is_object() || !document.contains("nftables") || !document["nftables"].is_array()) return Ruleset();
    NftReader reader(document["nftables"], listing);
    return reader.read(document["nftables"]);
}

}  // namespace webfind
