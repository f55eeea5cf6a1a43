#include "app/diagnosis/Diagnosis.h"

#include <cstring>

#include "app/base/Address.h"

namespace webfind {

namespace {

using BRIVO::InterfaceKind;
using BRIVO::LocalInterface;

struct Cause {
    std::string seen;
    std::vector<std::string> next;
};

std::string named(const LocalInterface& i) { return i.name + " (" + dottedQuad(i.address) + ")"; }

const char* kindText(InterfaceKind kind) {
    switch (kind) {
    case InterfaceKind::BRIDGE: return "a software bridge (for containers or virtual machines)";
    case InterfaceKind::TUNNEL: return "a tunnel or VPN";
    case InterfaceKind::POINT_TO_POINT: return "a point-to-point link";
    case InterfaceKind::LOOPBACK: return "the loopback interface";
    default: return nullptr;  // a kind that may well reach the LAN
    }
}

// Where devices usually are: up, multicast-capable, not loopback.
bool lanCandidate(const LocalInterface& i) { return i.up && i.multicast && !i.loopback; }

const LocalInterface* withAddress(const HostFacts& host, const uint8_t* address) {
    for (const LocalInterface& i : host.interfaces)
        if (std::memcmp(i.address, address, 4) == 0) return &i;
    return nullptr;
}

// The interfaces that could reach devices but did not carry the probe.
std::vector<const LocalInterface*> notProbed(const HostFacts& host, const std::vector<std::string>& probedNames) {
    std::vector<const LocalInterface*> others;
    for (const LocalInterface& i : host.interfaces) {
        if (!lanCandidate(i) || kindText(i.kind)) continue;
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

// The LAN of an interface as address/prefix, for rules that admit it alone.
std::string subnetOf(const LocalInterface& i) {
    uint8_t net[4];
    int prefix = 0;
    for (int b = 0; b < 4; ++b) {
        net[b] = static_cast<uint8_t>(i.address[b] & i.mask[b]);
        for (int bit = 7; bit >= 0; --bit) prefix += (i.mask[b] >> bit) & 1;
    }
    return dottedQuad(net) + "/" + std::to_string(prefix);
}

Cause wslCause(const HostFacts& host) {
    Cause c;
    c.seen = std::string("This is WSL 2") +
             (host.wsl.networkingMode.empty() ? " (networking mode unknown: NAT unless mirrored networking is on)"
                                              : " in " + host.wsl.networkingMode + " networking mode") +
             ": the probe stays inside WSL's virtual network and never reaches the LAN.";
    c.next = {"turn on mirrored networking: [wsl2] networkingMode=mirrored in %UserProfile%\\.wslconfig, then wsl --shutdown",
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

Cause firewallCause(const HostFacts& host, const DiagnosisContext& context, const LocalInterface* lan) {
    const uint16_t port = context.port ? context.port : FIREWALL_PORT;
    const std::string p = std::to_string(port);
    const std::string why = ": devices answer with unicast datagrams that it does not match to the probe.";
    const FirewallFacts& fw = host.firewall;
    Cause c;
    if (fw.ufwEnabled) {
        c.seen = "ufw is enabled (/etc/ufw/ufw.conf), and unless a rule admits them it drops the answers" + why;
        if (port == FIREWALL_PORT)
            c.next.push_back(lan ? "sudo ufw allow from " + subnetOf(*lan) + " to any app webfind"
                                 : std::string("sudo ufw allow webfind"));
        else
            c.next.push_back(lan ? "sudo ufw allow from " + subnetOf(*lan) + " to any port " + p + " proto udp"
                                 : "sudo ufw allow " + p + "/udp");
    } else if (fw.firewalldRunning) {
        c.seen = "firewalld is running, and unless its zone admits them it drops the answers" + why;
        c.next.push_back(port == FIREWALL_PORT
                             ? std::string("sudo firewall-cmd --permanent --add-service=webfind && sudo firewall-cmd --reload")
                             : "sudo firewall-cmd --permanent --add-port=" + p + "/udp && sudo firewall-cmd --reload");
    } else if (!fw.drops.empty()) {
        const FirewallDrop& d = fw.drops.front();
        if (d.tool == "nftables") {
            c.seen = "The firewall drops incoming UDP (nftables, table " + d.family + " " + d.table + ", chain " + d.chain +
                     ": " + d.rule + ")" + why;
            c.next.push_back("sudo nft insert rule " + d.family + " " + d.table + " " + d.chain + " udp dport " + p + " accept");
        } else {
            c.seen = "The firewall drops incoming UDP (iptables INPUT: " + d.rule + ")" + why;
            c.next.push_back("sudo iptables -I INPUT -p udp --dport " + p + " -j ACCEPT");
        }
    } else if (host.windows) {
        c.seen = "Windows Defender Firewall may drop the answers (webfind cannot read its state)" + why;
        c.next.push_back("netsh advfirewall firewall add rule name=webfind dir=in action=allow protocol=UDP localport=" + p);
    } else {
        return c;
    }
    if (context.port == 0)
        c.next.push_back("then run webfind --port " + p + ", or set WEBFIND_PORT=" + p + " for every run");
    return c;
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
        suspicious = kindText(used->kind);
    } else {
        for (const ProbeInterface& p : context.probed) {
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
}

}  // namespace

std::string explainNothingFound(const HostFacts& host, const DiagnosisContext& context) {
    std::vector<Cause> causes;
    if (host.wsl.wsl2 && host.wsl.networkingMode != "mirrored") causes.push_back(wslCause(host));
    if (context.report.datagrams > 0) causes.push_back(invalidDatagramsCause(context));
    const LocalInterface* lan = host.multicastRoute ? withAddress(host, host.probeSource) : nullptr;
    Cause firewall = firewallCause(host, context, lan && lanCandidate(*lan) ? lan : nullptr);
    if (!firewall.seen.empty()) causes.push_back(firewall);
    Cause route = interfaceCause(host, context);
    if (!route.seen.empty()) causes.push_back(route);

    std::string text;
    if (causes.empty()) {
        text = "webfind: no device answered, and nothing on this host explains it. Common causes elsewhere:\n"
               "  - the devices are on another subnet or VLAN (the probe does not cross routers);\n"
               "  - the Wi-Fi isolates its clients from each other (guest networks often do);\n"
               "  - the devices' discovery is switched off in their settings.\n";
        return text;
    }
    text = "webfind: no device answered. What this host shows, most likely first:\n";
    for (size_t i = 0; i < causes.size(); ++i) write(text, i + 1, causes[i]);
    return text;
}

std::string explainSendFailure(const HostFacts& host) {
    if (host.multicastRoute) return "";
    std::vector<const LocalInterface*> candidates = notProbed(host, {});
    std::string text = "webfind: the probe could not be sent: this host has no route for multicast (224.0.0.0/4) "
                       "and no default route.";
    if (candidates.empty()) return text + " No interface is up with an IPv4 address and multicast.\n";
    return text + " Next: webfind -i " + candidates.front()->name + " (interfaces that could carry it: " +
           listOf(candidates) + ").\n";
}

std::string diagnoseNothingFound(const DiagnosisContext& context) { return explainNothingFound(gatherHostFacts(), context); }

std::string diagnoseSendFailure() { return explainSendFailure(gatherHostFacts()); }

}  // namespace webfind
