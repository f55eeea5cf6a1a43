// The walk of a device's answer through the firewall's hooks and chains, as
// the kernel would make it.

#include <algorithm>
#include <map>

#include "app/diagnosis/Firewall.h"

namespace webfind {

namespace {

// Three answers to "does this match?".
enum class Truth { NO, MAYBE, YES };

Truth negate(Truth t) { return t == Truth::YES ? Truth::NO : t == Truth::NO ? Truth::YES : Truth::MAYBE; }

bool has(const std::vector<std::string>& words, const char* word) {
    return std::find(words.begin(), words.end(), word) != words.end();
}

// Whether [first, last] lies within `ranges` (YES), outside them all (NO),
// or across an edge (MAYBE).
Truth within(const std::vector<std::pair<uint32_t, uint32_t>>& ranges, uint32_t first, uint32_t last) {
    // The part of [first, last] the ranges cover, counted; the ranges may overlap.
    std::vector<std::pair<uint32_t, uint32_t>> parts;
    for (const auto& r : ranges) {
        uint32_t from = std::max(r.first, first), to = std::min(r.second, last);
        if (from <= to) parts.emplace_back(from, to);
    }
    if (parts.empty()) return Truth::NO;
    std::sort(parts.begin(), parts.end());
    uint64_t next = first;  // the first value not yet known to be covered
    for (const auto& p : parts) {
        if (p.first > next) return Truth::MAYBE;
        next = std::max<uint64_t>(next, uint64_t(p.second) + 1);
    }
    return next > last ? Truth::YES : Truth::MAYBE;
}

bool nameMatches(const std::string& pattern, const std::string& name) {
    if (!pattern.empty() && pattern.back() == '*')
        return name.compare(0, pattern.size() - 1, pattern, 0, pattern.size() - 1) == 0;
    return pattern == name;
}

bool marksPackets(const Ruleset& ruleset) {
    for (const Chain& c : ruleset.chains)
        for (const Rule& r : c.rules)
            if (r.setsMark) return true;
    return false;
}

// The answer as one packet, and what the ruleset does to packets before it
// meets a rule.
struct Answer {
    const UdpArrival& packet;
    bool marked;  // some rule marks packets or connections: a mark may be anything

    Truth holds(const Condition& c) const {
        const UdpArrival& p = packet;
        Truth t = Truth::MAYBE;
        switch (c.field) {
        case Condition::PROTOCOL: t = has(c.words, "udp") || has(c.words, "17") ? Truth::YES : Truth::NO; break;
        case Condition::DPORT: t = within(c.ranges, p.portLow, p.portHigh); break;
        case Condition::SPORT: t = within(c.ranges, p.sourcePortLow, p.sourcePortHigh); break;
        case Condition::SADDR: t = within(c.ranges, p.sourceFirst, p.sourceLast); break;
        case Condition::DADDR: t = p.destination ? within(c.ranges, p.destination, p.destination) : Truth::MAYBE; break;
        case Condition::CT_STATE: t = has(c.words, "new") ? Truth::YES : Truth::NO; break;
        // An unsolicited answer to this host is no NAT's and not confirmed yet.
        case Condition::CT_STATUS: t = Truth::NO; break;
        case Condition::MARK:
        case Condition::CT_MARK: t = marked ? Truth::MAYBE : within(c.ranges, 0, 0); break;
        case Condition::IIF:
            if (!p.interface.empty()) {
                t = Truth::NO;
                for (const std::string& w : c.words)
                    if (nameMatches(w, p.interface)) t = Truth::YES;
            } else {
                // Answers from the LAN never arrive on loopback.
                t = c.words.size() == 1 && c.words[0] == "lo" ? Truth::NO : Truth::MAYBE;
            }
            break;
        case Condition::DADDR_TYPE:
            t = (p.toGroup ? has(c.words, "multicast") : has(c.words, "local") || has(c.words, "unicast")) ? Truth::YES
                                                                                                           : Truth::NO;
            break;
        case Condition::PKTTYPE:
            t = (p.toGroup ? has(c.words, "multicast") : has(c.words, "host") || has(c.words, "unicast")) ? Truth::YES
                                                                                                          : Truth::NO;
            break;
        case Condition::FAMILY: t = has(c.words, "ipv4") ? Truth::YES : Truth::NO; break;
        case Condition::UNREADABLE: return Truth::MAYBE;
        }
        return c.negated ? negate(t) : t;
    }

    Truth matches(const Rule& rule) const {
        Truth all = Truth::YES;
        for (const Condition& c : rule.conditions) {
            Truth t = holds(c);
            if (t == Truth::NO) return Truth::NO;
            if (t == Truth::MAYBE) all = Truth::MAYBE;
        }
        return all;
    }
};

// Where the answer may go from a chain: accepted, dropped (and by what
// first), or through its end (back to the caller, or to the policy); and
// the first rule whose effect on it cannot be told.
struct Ways {
    bool accept = false;
    bool drop = false;
    bool through = false;
    const Chain* dropChain = nullptr;
    std::string dropBy;
    const Rule* dropRule = nullptr;
    const Chain* uncertainChain = nullptr;
    std::string uncertainBy;

    void mayDrop(const Chain& chain, const std::string& by, const Rule* rule = nullptr) {
        if (!drop) {
            dropChain = &chain;
            dropBy = by;
            dropRule = rule;
        }
        drop = true;
    }
    void cannotTell(const Chain& chain, const std::string& by) {
        if (uncertainChain) return;
        uncertainChain = &chain;
        uncertainBy = by;
    }
    void cannotTell(const Ways& inner) {
        if (inner.uncertainChain) cannotTell(*inner.uncertainChain, inner.uncertainBy);
    }
};

class Walker {
public:
    Walker(const Ruleset& ruleset, const Answer& answer) : answer(answer) {
        for (const Chain& c : ruleset.chains) byName[key(c, c.name)] = &c;
    }

    Ways walk(const Chain& chain, int depth = 0) {
        Ways ways;
        // A loop of jumps, or one deeper than any sane ruleset: not judged.
        if (depth > 32) {
            ways.accept = ways.through = true;
            ways.mayDrop(chain, "a chain nested too deep to follow");
            ways.cannotTell(chain, "a chain nested too deep to follow");
            return ways;
        }
        bool flowing = true;
        for (const Rule& rule : chain.rules) {
            Truth m = answer.matches(rule);
            if (m == Truth::NO || rule.verdict == Rule::NONE) continue;
            const bool certain = m == Truth::YES;
            if (!certain) ways.cannotTell(chain, rule.text);
            switch (rule.verdict) {
            case Rule::ACCEPT: ways.accept = true; break;
            case Rule::DROP:
            case Rule::REJECT: ways.mayDrop(chain, rule.text, &rule); break;
            case Rule::RETURN: ways.through = true; break;
            case Rule::JUMP:
            case Rule::GOTO: {
                const Chain* target = find(chain, rule.target);
                if (!target) {
                    ways.accept = true;
                    ways.mayDrop(chain, rule.text);
                    ways.cannotTell(chain, rule.text);
                    continue;  // not certain of anything
                }
                Ways inner = walk(*target, depth + 1);
                // Back from a jump, the rule after it is next; a goto's end is this chain's end.
                ways.accept = ways.accept || inner.accept;
                if (inner.drop) ways.mayDrop(*inner.dropChain, inner.dropBy, inner.dropRule);
                ways.cannotTell(inner);
                if (rule.verdict == Rule::GOTO) {
                    ways.through = ways.through || inner.through;
                } else if (certain && !inner.through) {
                    return ways;  // every way ended in there
                }
                if (rule.verdict == Rule::JUMP) continue;
                break;
            }
            case Rule::UNKNOWN:
                ways.accept = ways.through = true;
                ways.mayDrop(chain, rule.text);
                ways.cannotTell(chain, rule.text);
                continue;
            case Rule::NONE: break;
            }
            if (certain) {
                flowing = false;
                break;
            }
        }
        if (flowing) ways.through = true;
        return ways;
    }

private:
    static std::string key(const Chain& c, const std::string& name) {
        return std::to_string(c.source) + " " + c.family + " " + c.table + " " + name;
    }
    const Chain* find(const Chain& from, const std::string& name) const {
        auto it = byName.find(key(from, name));
        return it == byName.end() ? nullptr : it->second;
    }

    const Answer& answer;
    std::map<std::string, const Chain*> byName;
};

const char* policyText(Rule::Verdict policy) { return policy == Rule::ACCEPT ? "policy accept" : "policy drop"; }

// On the answer's way: an ingress chain sees only its own interface's.
bool onTheWay(const Chain& c, const UdpArrival& packet) {
    return c.base &&
           (c.hook != Chain::INGRESS || packet.interface.empty() || c.device.empty() || c.device == packet.interface);
}

}  // namespace

std::string droppedBySource(const FirewallVerdict& verdict, const std::string& whose) {
    if (!verdict.rule) return "";
    for (const Condition& c : verdict.rule->conditions)
        if (c.field == Condition::SADDR && !c.negated) {
            if (!c.set.empty()) return "its set @" + c.set + " holds addresses of " + whose;
            std::string listed;
            for (const std::string& w : c.words) listed += (listed.empty() ? "" : ", ") + w;
            return "it drops datagrams from " + listed + ", which holds " + whose;
        }
    return "";
}

FirewallVerdict verdictFor(const Ruleset& ruleset, const UdpArrival& packet) {
    std::vector<const Chain*> bases;
    for (const Chain& c : ruleset.chains)
        if (onTheWay(c, packet)) bases.push_back(&c);
    std::stable_sort(bases.begin(), bases.end(), [](const Chain* a, const Chain* b) {
        return a->hook != b->hook ? a->hook < b->hook : a->priority < b->priority;
    });
    const Answer answer{packet, marksPackets(ruleset)};
    Walker walker(ruleset, answer);
    FirewallVerdict verdict;
    bool passes = true;  // some way leads here
    bool mayDrop = false;
    for (const Chain* base : bases) {
        Ways ways = walker.walk(*base);
        // Whatever else may drop it, a way that reaches the end meets the
        // policy: that is what to name.
        if (ways.through && base->policy != Rule::ACCEPT) {
            ways.drop = true;
            ways.dropChain = base;
            ways.dropBy = policyText(base->policy);
            ways.dropRule = nullptr;
        }
        if (ways.through && base->policy == Rule::ACCEPT) ways.accept = true;
        if (ways.drop && !mayDrop) {
            verdict.chain = ways.dropChain;
            verdict.base = base;
            verdict.what = ways.dropBy;
            verdict.rule = ways.dropRule;
        }
        if (ways.drop && !verdict.uncertainChain && ways.uncertainChain) {
            verdict.uncertainChain = ways.uncertainChain;
            verdict.uncertain = ways.uncertainBy;
        }
        mayDrop = mayDrop || ways.drop;
        if (!ways.accept) {
            passes = false;
            break;
        }
    }
    verdict.kind = !mayDrop ? FirewallVerdict::ADMITS : passes ? FirewallVerdict::UNKNOWN : FirewallVerdict::BLOCKS;
    return verdict;
}

}  // namespace webfind
