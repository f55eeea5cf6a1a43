#include "app/diagnosis/Rules.h"

#include <cstring>
#include <utility>

#include "app/base/Address.h"
#include "app/diagnosis/Advice.h"
#include "app/discovery/Interfaces.h"

namespace webfind {

namespace {

using BRIVO::InterfaceKind;
using BRIVO::LocalInterface;

struct Cause {
    std::string seen;
    std::vector<std::string> next;  // commands, most to the point first
    std::vector<std::string> keep;  // how to keep them, where that needs saying: a command or a step, then notes
    bool asksForPort = true;        // the commands admit a port that the run must then use
};

std::string named(const LocalInterface& i) { return i.name + " (" + dottedQuad(i.address) + ")"; }

// A bridge made for containers or virtual machines, by its name, or one
// with no link or no neighbour to talk to; other bridges may well carry the
// LAN (br0 with the Ethernet card in it).
bool containerBridge(const HostFacts& host, const LocalInterface& i) {
    static const char* const prefixes[] = {"docker", "br-", "virbr", "lxcbr", "lxdbr", "cni", "podman", "vmnet"};
    for (const char* p : prefixes)
        if (i.name.rfind(p, 0) == 0) return true;
    auto seen = host.neighbours.find(i.name);
    return !i.carrier || (host.neighboursKnown && (seen == host.neighbours.end() || seen->second == 0));
}

// What an interface is, said when devices are unlikely behind it; null for
// one that may well reach the LAN.
const char* kindText(const HostFacts& host, const LocalInterface& i) {
    switch (i.kind) {
    case InterfaceKind::BRIDGE:
        return containerBridge(host, i) ? "a software bridge for containers or virtual machines" : nullptr;
    case InterfaceKind::TUNNEL: return "a tunnel or VPN";
    case InterfaceKind::POINT_TO_POINT: return "a point-to-point link";
    case InterfaceKind::LOOPBACK: return "the loopback interface";
    default: return nullptr;
    }
}

// Where devices usually are: the links a program may take unnamed.
bool lanCandidate(const LocalInterface& i) { return mayCarryProbes(Link::of(i), true); }

const LocalInterface* withAddress(const HostFacts& host, const uint8_t* address) {
    for (const LocalInterface& i : host.interfaces)
        if (std::memcmp(i.address, address, 4) == 0) return &i;
    return nullptr;
}

// The interfaces that could reach devices but did not carry the probe.
std::vector<const LocalInterface*> notProbed(const HostFacts& host, const std::vector<std::string>& probedNames) {
    std::vector<const LocalInterface*> others;
    for (const LocalInterface& i : host.interfaces) {
        if (!lanCandidate(i) || kindText(host, i)) continue;
        bool probed = false;
        for (const std::string& name : probedNames) probed = probed || name == i.name;
        for (const LocalInterface* o : others) probed = probed || o->name == i.name;
        if (!probed) others.push_back(&i);
    }
    return others;
}

std::string listOf(const std::vector<const LocalInterface*>& interfaces) {
    std::string text;
    for (const LocalInterface* i : interfaces) text += (text.empty() ? "" : ", ") + named(*i);
    return text;
}

Cause wslCause(const HostFacts& host) {
    Cause c;
    c.seen = std::string("This is WSL 2") +
             (host.wsl.networkingMode.empty() ? " (networking mode unknown: NAT unless mirrored networking is on)"
                                              : " in " + host.wsl.networkingMode + " networking mode") +
             ": the probe stays inside WSL's virtual network and never reaches the LAN.";
    c.next = {
        "turn on mirrored networking: [wsl2] networkingMode=mirrored in %UserProfile%\\.wslconfig, then wsl --shutdown",
        "or run webfind.exe on Windows itself"};
    return c;
}

Cause invalidDatagramsCause(const DiagnosisContext& context) {
    Cause c;
    size_t n = context.report.datagrams;
    c.seen = std::to_string(n) + (n == 1 ? " datagram" : " datagrams") + " arrived, but none was a valid answer.";
    c.next = {context.verbose ? "the lines above say why each was rejected" : "webfind -v shows why each was rejected"};
    return c;
}

const char* const WHY_DROPPED = ": devices answer with unicast datagrams that it does not match to the probe.";

// A device's answer at local ports `low`-`high`, arriving at `lan` (the
// interface the probe left from) when it is known.
UdpArrival answerAt(const LocalInterface* lan, uint16_t low, uint16_t high) {
    UdpArrival p;
    p.portLow = low;
    p.portHigh = high;
    if (lan) {
        const uint32_t address = hostOrder(lan->address), mask = hostOrder(lan->mask);
        p.sourceFirst = address & mask;
        p.sourceLast = (address & mask) | ~mask;
        p.destination = address;
        p.interface = lan->name;
    }
    return p;
}

// How sure a verdict is that answers are lost: the worst of several is the
// one to tell.
int severity(FirewallVerdict::Kind kind) {
    return kind == FirewallVerdict::BLOCKS ? 2 : kind == FirewallVerdict::UNKNOWN ? 1 : 0;
}

// The firewall read from the kernel's rules (as root): the answers are
// walked as they arrive on each interface that may carry them (`lans`; none
// known: from anywhere), and the worst that happens to them is told.
Cause readFirewallCause(const HostFacts& host, const DiagnosisContext& context,
                        const std::vector<const LocalInterface*>& lans) {
    const FirewallFacts& fw = host.firewall;
    const uint16_t port = context.port ? context.port : FIREWALL_PORT;
    const std::pair<uint16_t, uint16_t> used =
        context.port ? std::make_pair(context.port, context.port) : host.ephemeralPorts;
    const LocalInterface* lan = nullptr;
    FirewallVerdict verdict;
    verdict.kind = FirewallVerdict::ADMITS;
    for (const LocalInterface* candidate : lans.empty() ? std::vector<const LocalInterface*>{nullptr} : lans) {
        FirewallVerdict v = verdictFor(fw.ruleset, answerAt(candidate, used.first, used.second));
        if (severity(v.kind) > severity(verdict.kind)) {
            verdict = v;
            lan = candidate;
        }
    }
    Cause c;
    if (verdict.kind == FirewallVerdict::ADMITS || !verdict.chain) {
        c.asksForPort = false;
        return c;
    }
    const std::string where = chainName(*verdict.chain) + ": " + verdict.what;
    if (context.port == 0 &&
        verdictFor(fw.ruleset, answerAt(lan, FIREWALL_PORT, FIREWALL_PORT)).kind == FirewallVerdict::ADMITS) {
        const std::string p = std::to_string(FIREWALL_PORT);
        c.seen = "The firewall admits answers at port " + p + ", but this run took them at a port the system chose (" +
                 where + ")" + WHY_DROPPED;
        c.next = {"webfind --port " + p + ", or set WEBFIND_PORT=" + p + " for every run"};
        c.asksForPort = false;
        return c;
    }
    if (verdict.kind == FirewallVerdict::BLOCKS)
        c.seen = "The firewall drops incoming UDP (" + where + ")";
    else if (verdict.uncertain.empty() || verdict.uncertain == verdict.what)
        c.seen = "The firewall may drop the answers (" + where + ": webfind cannot tell what this rule does to them)";
    else
        c.seen = "The firewall may drop the answers (" + where + ", unless \"" + verdict.uncertain + "\" in " +
                 chainName(*verdict.uncertainChain) +
                 " decides first: webfind cannot tell what that rule does to them)";
    // A blocklist that holds the devices' addresses drops them whatever the
    // port; otherwise it is the answers' being no part of a connection.
    const std::string blocklist = droppedBySource(verdict, lan ? subnetOf(*lan) : std::string("the LAN"));
    c.seen += blocklist.empty() ? std::string(WHY_DROPPED) : ": " + blocklist + ", where the devices answer from.";
    Advice advice = adviceToAdmit(fw, answersAt(port), answerAt(lan, port, port), lan);
    c.next = std::move(advice.next);
    c.keep = std::move(advice.keep);
    return c;
}

Cause windowsCause(const HostFacts& host, uint16_t port) {
    Cause c;
    const WindowsFacts& w = host.windows;
    const std::string p = std::to_string(port);
    if (w.firewallOn == 0) return c;
    if (w.firewallOn == 1 && !w.profile.empty())
        c.seen = "Windows Defender Firewall is on for " + w.profile + " networks, and the probe left on a " +
                 w.profile + " network" + (w.profile == "Public" ? " (Public networks block the answers)" : "") +
                 WHY_DROPPED;
    else
        c.seen =
            std::string("Windows Defender Firewall may drop the answers (webfind cannot read its state)") + WHY_DROPPED;
    c.next = {"netsh advfirewall firewall add rule name=webfind dir=in action=allow protocol=UDP localport=" + p};
    if (w.profile == "Public")
        c.next.push_back("or, on a network you trust, make it Private: Settings > Network & internet > Properties");
    return c;
}

Cause firewallCause(const HostFacts& host, const DiagnosisContext& context,
                    const std::vector<const LocalInterface*>& lans) {
    const uint16_t port = context.port ? context.port : FIREWALL_PORT;
    const FirewallFacts& fw = host.firewall;
    const LocalInterface* lan = lans.size() == 1 ? lans.front() : nullptr;
    Cause c;
    if (host.windows.windows) {
        c = windowsCause(host, port);
    } else if (fw.read) {
        c = readFirewallCause(host, context, lans);
        if (!c.asksForPort) return c;
    } else if (fw.ufwEnabled) {
        c.seen = std::string("ufw is enabled (/etc/ufw/ufw.conf), and unless a rule admits them it drops the answers") +
                 WHY_DROPPED;
        c.next.push_back(ufwAllow(fw, answersAt(port), lan));
    } else if (fw.firewalldRunning) {
        c.seen =
            std::string("firewalld is running, and unless its zone admits them it drops the answers") + WHY_DROPPED;
        c.next.push_back(firewalldAdd(fw, answersAt(port)));
    } else {
        c.seen = "The firewall could not be checked (" + fw.unreadable +
                 "): a host firewall that drops unsolicited UDP is the most common reason nothing answers.";
        c.next = {"sudo webfind -v, which reads the firewall's rules and names the one that drops the answers"};
        return c;
    }
    if (!c.seen.empty() && context.port == 0) {
        const std::string p = std::to_string(port);
        c.next.push_back(std::string(c.next.empty() ? "run" : "then run") + " webfind --port " + p +
                         ", or set WEBFIND_PORT=" + p + " for every run");
    }
    return c;
}

// The interfaces the answers may arrive at: those the probe went out of
// (-i, -a, or the one routing chose), or where that is not known, every one
// that may reach devices.
std::vector<const LocalInterface*> answerInterfaces(const HostFacts& host, const DiagnosisContext& context) {
    std::vector<const LocalInterface*> lans;
    for (const Link& p : context.probed)
        if (const LocalInterface* i = withAddress(host, p.address.bytes.data())) lans.push_back(i);
    if (!lans.empty()) return lans;
    const LocalInterface* routed = host.multicastRoute ? withAddress(host, host.probeSource) : nullptr;
    if (routed && lanCandidate(*routed)) return {routed};
    for (const LocalInterface& i : host.interfaces)
        if (lanCandidate(i)) lans.push_back(&i);
    return lans;
}

// The probe went where no device is likely: through a bridge, a tunnel, a
// point-to-point link or loopback, or through one interface of several.
Cause interfaceCause(const HostFacts& host, const DiagnosisContext& context) {
    Cause c;
    if (context.allInterfaces) return c;
    std::vector<std::string> probedNames;
    std::string via;
    const char* suspicious = nullptr;
    if (context.probed.empty()) {
        const LocalInterface* used = host.multicastRoute ? withAddress(host, host.probeSource) : nullptr;
        if (!used) return c;
        probedNames.push_back(used->name);
        via = named(*used);
        suspicious = kindText(host, *used);
    } else {
        for (const Link& p : context.probed) {
            probedNames.push_back(p.name);
            via += (via.empty() ? "" : ", ") + p.name + " (" + p.address.text() + ")";
        }
    }
    std::vector<const LocalInterface*> others = notProbed(host, probedNames);
    if (others.empty()) return c;
    c.seen = "The probe left through " + via + (suspicious ? std::string(", ") + suspicious : std::string()) +
             "; these interfaces were not probed: " + listOf(others) + ".";
    c.next = {"webfind -i " + others.front()->name + ", or webfind -a to probe through every interface"};
    return c;
}

void write(std::string& text, size_t number, const Cause& c) {
    text += "  " + std::to_string(number) + ". " + c.seen + "\n";
    for (size_t i = 0; i < c.next.size(); ++i) text += (i == 0 ? "     Next: " : "           ") + c.next[i] + "\n";
    for (size_t i = 0; i < c.keep.size(); ++i) text += (i == 0 ? "     Keep: " : "           ") + c.keep[i] + "\n";
}

}  // namespace

std::string explainNothingFound(const HostFacts& host, const DiagnosisContext& context) {
    std::vector<Cause> causes;
    if (host.wsl.wsl2 && host.wsl.networkingMode != "mirrored") causes.push_back(wslCause(host));
    if (context.report.datagrams > 0) causes.push_back(invalidDatagramsCause(context));
    Cause firewall = firewallCause(host, context, answerInterfaces(host, context));
    if (!firewall.seen.empty()) causes.push_back(firewall);
    Cause route = interfaceCause(host, context);
    if (!route.seen.empty()) causes.push_back(route);

    std::string text;
    if (causes.empty()) {
        text =
            "webfind: no device answered, and nothing on this host explains it. Common causes elsewhere:\n"
            "  - the devices are on another subnet or VLAN (the probe does not cross routers: name them with\n"
            "    --target ADDRESS or RANGE, probed by unicast);\n"
            "  - the Wi-Fi isolates its clients from each other (guest networks often do);\n"
            "  - the devices' discovery is switched off in their settings.\n";
        return text;
    }
    text = "webfind: no device answered. What this host shows, most likely first:\n";
    for (size_t i = 0; i < causes.size(); ++i) write(text, i + 1, causes[i]);
    return text;
}

std::string explainNoRoute(const HostFacts& host) {
    if (host.multicastRoute) return "";
    std::vector<const LocalInterface*> candidates = notProbed(host, {});
    std::string text = "this host has no route for multicast (224.0.0.0/4) and no default route.";
    if (candidates.empty()) return text + " No interface is up with an IPv4 address and multicast.";
    return text + " Next: webfind -i " + candidates.front()->name +
           " (interfaces that could carry it: " + listOf(candidates) + ").";
}

}  // namespace webfind
