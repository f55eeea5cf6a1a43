#include "app/diagnosis/Announcing.h"

#include "app/base/Address.h"
#include "app/diagnosis/Advice.h"
#include "app/wire/Messages.h"

namespace webfind {

namespace {

using BRIVO::LocalInterface;

// A finder's probe as it arrives on `link`: from the link's subnet, from a
// finder's port (never below 1024), to the discovery group and port.
UdpArrival probeOn(const LocalInterface& link) {
    UdpArrival p;
    const uint32_t address = hostOrder(link.address), mask = hostOrder(link.mask);
    p.sourceFirst = address & mask;
    p.sourceLast = (address & mask) | ~mask;
    p.sourcePortLow = 1024;
    p.sourcePortHigh = 65535;
    p.destination = hostOrder(DISCOVERY_GROUP.address + 12);
    p.toGroup = true;
    p.portLow = p.portHigh = DISCOVERY_PORT;
    p.interface = link.name;
    return p;
}

std::string block(const std::string& seen, const Advice& advice) {
    std::string text = seen + "\n";
    for (size_t i = 0; i < advice.next.size(); ++i)
        text += (i == 0 ? "     Next: " : "           ") + advice.next[i] + "\n";
    for (size_t i = 0; i < advice.keep.size(); ++i)
        text += (i == 0 ? "     Keep: " : "           ") + advice.keep[i] + "\n";
    return text;
}

const char* const PROBES = "discovery probes (UDP to 224.0.0.138 port 3576)";

// The ruleset read from the kernel: each link's probes walked through it;
// links that meet the same rule and need the same steps are told together.
std::string fromRuleset(const FirewallFacts& fw, const std::vector<LocalInterface>& links) {
    struct Cause {
        FirewallVerdict::Kind kind;
        std::string where;      // the chain and its rule
        std::string blocklist;  // what holds the link's addresses, when that is why
        Advice advice;
        std::string links;
        bool sameAs(const Cause& o) const {
            return kind == o.kind && where == o.where && blocklist == o.blocklist && advice.next == o.advice.next &&
                   advice.keep == o.advice.keep;
        }
    };
    std::vector<Cause> causes;
    for (const LocalInterface& link : links) {
        const UdpArrival probe = probeOn(link);
        const FirewallVerdict v = verdictFor(fw.ruleset, probe);
        if (v.kind == FirewallVerdict::ADMITS || !v.chain) continue;
        Cause c{v.kind, chainName(*v.chain) + ": " + v.what, droppedBySource(v, "the link"),
                adviceToAdmit(fw, PROBES_DOOR, probe, &link), link.name};
        if (!causes.empty() && causes.back().sameAs(c))
            causes.back().links += ", " + link.name;
        else
            causes.push_back(std::move(c));
    }
    std::string text;
    for (const Cause& c : causes) {
        const bool certain = c.kind == FirewallVerdict::BLOCKS;
        std::string seen = std::string("the firewall ") + (certain ? "drops " : "may drop ") + PROBES +
                           " arriving on " + c.links + " (" + c.where +
                           (certain ? "" : ": webfind-announce cannot tell what this rule does to them") + ")";
        if (!c.blocklist.empty()) seen += ": " + c.blocklist;
        text += block(seen + "; finders there cannot find this host", c.advice);
    }
    return text;
}

}  // namespace

std::string explainProbesBlocked(const HostFacts& host, const std::vector<LocalInterface>& links) {
    const FirewallFacts& fw = host.firewall;
    const LocalInterface* one = links.size() == 1 ? &links.front() : nullptr;
    if (host.windows.windows) {
        if (host.windows.firewallOn == 0) return "";
        Advice advice;
        advice.next = {
            "netsh advfirewall firewall add rule name=webfind-announce dir=in action=allow protocol=UDP "
            "localport=3576"};
        return block(std::string("Windows Defender Firewall ") +
                         (host.windows.firewallOn == 1 ? "is on" : "may be on") +
                         ", and unless a rule admits them it drops " + PROBES + "; finders cannot find this host",
                     advice);
    }
    if (fw.read) return fromRuleset(fw, links);
    Advice advice;
    if (fw.ufwEnabled) {
        advice.next = {ufwAllow(fw, PROBES_DOOR, one)};
        return block(std::string("ufw is enabled (/etc/ufw/ufw.conf), and unless a rule admits them it drops ") +
                         PROBES + "; finders cannot find this host",
                     advice);
    }
    if (fw.firewalldRunning) {
        advice.next = {firewalldAdd(fw, PROBES_DOOR)};
        return block(std::string("firewalld is running, and unless its zone admits them it drops ") + PROBES +
                         "; finders cannot find this host",
                     advice);
    }
    return "the firewall could not be checked (" + fw.unreadable + "): if finders do not find this host, a rule that " +
           "drops UDP to port 3576 is the likely cause; webfind-announce names it when started as root\n";
}

std::string checkProbesAdmitted(const std::vector<LocalInterface>& links) {
    // The firewall is what counts here, not the neighbours.
    return explainProbesBlocked(gatherHostFacts(false), links);
}

}  // namespace webfind
