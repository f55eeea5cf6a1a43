#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "app/wire/Messages.h"

namespace webfind {

// The firewall profiles in the package admit answers to this port; users set
// WEBFIND_PORT (or --port) to it.
constexpr uint16_t FIREWALL_PORT = 13576;

// The kernel's firewall as far as a device's answer meets it: the chains on
// its way in (ingress on the interface it arrives at, prerouting, input),
// from nftables and from iptables, with each rule reduced to what it asks of
// a packet and what it then does.

// One thing a rule asks of a packet.
struct Condition {
    enum Field {
        PROTOCOL,  // `words`: "udp", "tcp", "17", ...
        DPORT,     // `ranges` of ports
        SPORT,
        SADDR,  // `ranges` of IPv4 addresses, host order
        DADDR,
        CT_STATE,    // `words`: "new", "established", ...
        IIF,         // `words`: interface names; a trailing '*' matches any ending
        DADDR_TYPE,  // `words`: "local", "unicast", "broadcast", "multicast"
        PKTTYPE,     // `words`: "host", "broadcast", "multicast"
        FAMILY,      // `words`: "ipv4", "ipv6"
        CT_STATUS,   // `words`: "dnat", "snat", "confirmed", ...
        MARK,        // `ranges`: the packet's mark (meta mark)
        CT_MARK,     // `ranges`: its connection's mark (ct mark)
        UNREADABLE,  // anything else: it may or may not match
    };
    Field field = UNREADABLE;
    bool negated = false;
    std::vector<std::string> words;
    std::vector<std::pair<uint32_t, uint32_t>> ranges;  // first and last, both included
    std::string set;  // the named set its values are the elements of ("blocklist"); empty: none
};

struct Rule {
    enum Verdict {
        NONE,  // goes on to the next rule (a counter, a log, ...)
        ACCEPT,
        DROP,
        REJECT,
        JUMP,  // to `target`, coming back at its end or a RETURN
        GOTO,  // to `target`, not coming back
        RETURN,
        UNKNOWN,  // a verdict not read (a queue, a verdict map): anything may happen
    };
    std::vector<Condition> conditions;  // all must hold
    Verdict verdict = NONE;
    std::string target;     // for JUMP and GOTO
    std::string text;       // as the ruleset states it, for people
    bool setsMark = false;  // it marks packets or connections (and goes on)
};

struct Chain {
    enum Source { NFTABLES, IPTABLES_NFT, IPTABLES_LEGACY };
    // The hooks an answer crosses, in the kernel's order.
    enum Hook { INGRESS, PREROUTING, INPUT };
    Source source = NFTABLES;
    std::string family;  // "inet", "ip", "netdev"
    std::string table;
    std::string name;
    bool base = false;  // on a hook of the kernel's, with a policy
    Hook hook = INPUT;
    std::string device;  // INGRESS: the interface it is on
    int priority = 0;
    Rule::Verdict policy = Rule::ACCEPT;
    std::vector<Rule> rules;
};

struct Ruleset {
    std::vector<Chain> chains;
    // From iptables-nft-save: the tables it shows ("ip filter"), and of
    // those, the ones it says it cannot (a table of nft's own, named like
    // one of iptables', whose chains it prints empty).
    std::vector<std::string> iptablesTables;
    std::vector<std::string> incompatibleTables;
    // From nft: the tables with iptables-nft's own matches in them ("ip
    // filter"), which nft shows only as opaque "xt" expressions.
    std::vector<std::string> xtTables;
};

// An unsolicited UDP datagram on its way in, as this host's firewall sees
// it: from some address of the LAN, to this host on the interface it
// arrives at, no part of any connection the firewall tracks (state "new", no
// NAT), and marked by no one unless a rule marks packets. A device's answer
// (the default) comes from the discovery port to this host's address at
// the finder's port; a finder's probe (`toGroup`) from the finder's port to
// the discovery group at the discovery port.
struct UdpArrival {
    uint32_t sourceFirst = 0, sourceLast = 0xFFFFFFFF;                         // some address in here (host order)
    uint32_t destination = 0;                                                  // host order; 0: unknown
    bool toGroup = false;                                                      // the destination is a multicast group
    uint16_t sourcePortLow = DISCOVERY_PORT, sourcePortHigh = DISCOVERY_PORT;  // the devices' own
    uint16_t portLow = 0, portHigh = 65535;  // its destination port: one, or the range the system picks from
    std::string interface;                   // empty: unknown
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
    std::string what;            // the rule's text, or "policy drop"
    const Rule* rule = nullptr;  // that rule; null for a policy
    // UNKNOWN: the rule whose effect on the answer cannot be told (one that
    // may or may not match it, or a verdict that cannot be read), and where.
    const Chain* uncertainChain = nullptr;
    std::string uncertain;
};

// Walks the datagram through the hooks in the kernel's order (ingress on its
// interface, then prerouting, then input, each by priority) and each
// chain's rules in order, as the kernel would: a drop or reject ends it
// anywhere, an accept ends only its own base chain. Rules that cannot be
// judged make the verdict UNKNOWN, never BLOCKS. A rule that cannot meet an
// unsolicited datagram (another interface, ct status dnat, a mark nothing
// sets) decides nothing.
FirewallVerdict verdictFor(const Ruleset& ruleset, const UdpArrival& packet);

// `ruleset` with `rule` put first in `chain` (a rule of one's own, to see
// whether it would let the answers through).
Ruleset withRuleFirst(const Ruleset& ruleset, const Chain& chain, const Rule& rule);

// A rule that accepts UDP to `port`.
Rule acceptUdpTo(uint16_t port);

// When the verdict's rule drops datagrams for their source address (a
// blocklist), why, of the addresses of `whose`: "its set @banned holds
// addresses of 198.51.100.0/24", "it drops datagrams from 203.0.113.0/24,
// which holds ..."; empty when the rule asks no source.
std::string droppedBySource(const FirewallVerdict& verdict, const std::string& whose);

// Who speaks for a chain in messages: "nftables, table inet filter, chain
// input", "iptables, table filter, chain INPUT".
std::string chainName(const Chain& chain);

// The readers of what the firewall's tools print are in RulesetNft.h and
// RulesetIptables.h.
// nftables' tables and iptables-nft's view of them, each table once: nft's
// description, but for a table of iptables-nft's whose matches nft shows
// only as opaque "xt" expressions, which iptables-nft-save shows plainly.
Ruleset mergeIptablesNft(Ruleset nft, Ruleset iptablesNft);
// One more source of tables (the legacy ones).
void append(Ruleset& into, Ruleset&& more);

// True when ufw's configuration (/etc/ufw/ufw.conf) has it enabled.
bool ufwEnabledIn(const std::string& configuration);

}  // namespace webfind
