#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace webfind {

// The firewall profiles in the package admit answers to this port; users set
// WEBFIND_PORT (or --port) to it.
constexpr uint16_t FIREWALL_PORT = 13576;

// The kernel's firewall as far as a device's answer meets it: the chains on
// the way in (prerouting and input), from nftables and from iptables, with
// each rule reduced to what it asks of a packet and what it then does.

// One thing a rule asks of a packet.
struct Condition {
    enum Field {
        PROTOCOL,    // `words`: "udp", "tcp", "17", ...
        DPORT,       // `ranges` of ports
        SPORT,
        SADDR,       // `ranges` of IPv4 addresses, host order
        DADDR,
        CT_STATE,    // `words`: "new", "established", ...
        IIF,         // `words`: interface names; a trailing '*' matches any ending
        DADDR_TYPE,  // `words`: "local", "unicast", "broadcast", "multicast"
        PKTTYPE,     // `words`: "host", "broadcast", "multicast"
        FAMILY,      // `words`: "ipv4", "ipv6"
        UNREADABLE,      // anything else: it may or may not match
    };
    Field field = UNREADABLE;
    bool negated = false;
    std::vector<std::string> words;
    std::vector<std::pair<uint32_t, uint32_t>> ranges;  // first and last, both included
};

struct Rule {
    enum Verdict {
        NONE,     // goes on to the next rule (a counter, a log, ...)
        ACCEPT,
        DROP,
        REJECT,
        JUMP,     // to `target`, coming back at its end or a RETURN
        GOTO,     // to `target`, not coming back
        RETURN,
        UNKNOWN,  // a verdict not read (a queue, a verdict map): anything may happen
    };
    std::vector<Condition> conditions;  // all must hold
    Verdict verdict = NONE;
    std::string target;                 // for JUMP and GOTO
    std::string text;                   // as the ruleset states it, for people
};

struct Chain {
    enum Source { NFTABLES, IPTABLES_NFT, IPTABLES_LEGACY };
    enum Hook { PREROUTING, INPUT };
    Source source = NFTABLES;
    std::string family;  // "inet", "ip"
    std::string table;
    std::string name;
    bool base = false;   // on a hook of the kernel's, with a policy
    Hook hook = INPUT;
    int priority = 0;
    Rule::Verdict policy = Rule::ACCEPT;
    std::vector<Rule> rules;
};

struct Ruleset {
    std::vector<Chain> chains;
    // The tables read from iptables-save, as "ip filter": in nftables'
    // listing these are the ones iptables-nft manages ("do not touch").
    std::vector<std::string> iptablesTables;
};

// A device's answer as this host's firewall sees it: unicast UDP from some
// address of the LAN to this host's address on the interface it arrives at,
// to our port, and no part of any connection the firewall tracks (the probe
// went to a group address, so the answer's state is "new").
struct AnswerPacket {
    uint32_t sourceFirst = 0, sourceLast = 0xFFFFFFFF;  // some address in here (host order)
    uint32_t destination = 0;                          // host order; 0: unknown
    uint16_t portLow = 0, portHigh = 65535;            // our port: one, or the range the system picks from
    std::string interface;                             // empty: unknown
};

struct FirewallVerdict {
    enum Kind {
        ADMITS,   // every way through lets it in
        BLOCKS,   // every way through drops or rejects it
        UNKNOWN,  // it depends on rules that cannot be judged
    };
    Kind kind = ADMITS;
    // BLOCKS and UNKNOWN: the first rule (or policy) that may drop it, and
    // the base chain on whose hook that happens.
    const Chain* chain = nullptr;
    const Chain* base = nullptr;
    std::string what;  // the rule's text, or "policy drop"
};

// Walks the answer through the hooks in the kernel's order (prerouting, then
// input, each by priority) and each chain's rules in order, as the kernel
// would: a drop or reject ends it anywhere, an accept ends only its own base
// chain. Rules that cannot be judged make the verdict UNKNOWN, never BLOCKS.
FirewallVerdict verdictFor(const Ruleset& ruleset, const AnswerPacket& packet);

// `ruleset` with `rule` put first in `chain` (a rule of one's own, to see
// whether it would let the answers through).
Ruleset withRuleFirst(const Ruleset& ruleset, const Chain& chain, const Rule& rule);

// A rule that accepts UDP to `port`.
Rule acceptUdpTo(uint16_t port);

// Who speaks for a chain in messages: "nftables, table inet filter, chain
// input", "iptables, table filter, chain INPUT".
std::string chainName(const Chain& chain);

// The readers of what the firewall's tools print.
// From "nft -j list ruleset", with the texts of the rules from
// "nft -a list ruleset" (which numbers them by handle). The tables in
// `leaveOut` ("ip filter") are not read: the ones iptables-nft manages are
// read from iptables-nft-save instead, where every match is plain.
Ruleset rulesetFromNft(const std::string& json, const std::string& listing,
                       const std::vector<std::string>& leaveOut = {});
// From iptables-save (iptables-nft-save, iptables-legacy-save).
Ruleset rulesetFromIptablesSave(const std::string& text, Chain::Source source);
// Both into one.
void append(Ruleset& into, Ruleset&& more);

// True when ufw's configuration (/etc/ufw/ufw.conf) has it enabled.
bool ufwEnabledIn(const std::string& configuration);

}  // namespace webfind
