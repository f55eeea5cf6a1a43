// The reader of nftables' ruleset: "nft -j list ruleset", with the texts of
// the rules from "nft -a list ruleset". Whatever it cannot read becomes a
// condition that may or may not hold, or a verdict that may be anything:
// never a drop.

#include <algorithm>
#include <map>
#include <sstream>

#include <nlohmann/json.hpp>

#include "app/diagnosis/Firewall.h"
#include "app/diagnosis/RulesetText.h"

namespace webfind {

using namespace ruleset;

namespace {

using nlohmann::json;

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

}  // namespace webfind
