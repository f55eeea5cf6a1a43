// Host facts on Linux (and, as far as they go, other POSIX systems): files
// under /etc, /proc and /sys, and the firewall's own tools where root may
// read the ruleset.

#include <dirent.h>
#include <unistd.h>

#include <cctype>
#include <sstream>
#include <string>

#include "app/diagnosis/HostFacts.h"
#include "app/diagnosis/RulesetIptables.h"
#include "app/diagnosis/RulesetNft.h"
#include "app/system/Files.h"
#include "app/system/Spawn.h"
#include "app/system/Wsl.h"

namespace webfind {

namespace {

bool exists(const char* path) { return ::access(path, F_OK) == 0; }

// firewalld is a Python program; the kernel names its process after the script.
bool processRunning(const char* name) {
    DIR* proc = ::opendir("/proc");
    if (!proc) return false;
    bool found = false;
    while (dirent* entry = ::readdir(proc)) {
        if (!std::isdigit(static_cast<unsigned char>(entry->d_name[0]))) continue;
        std::string comm = fileText(("/proc/" + std::string(entry->d_name) + "/comm").c_str());
        while (!comm.empty() && comm.back() == '\n') comm.pop_back();
        if (comm == name) {
            found = true;
            break;
        }
    }
    ::closedir(proc);
    return found;
}

// Which tables "iptables" reaches here: "nf_tables" or "legacy".
std::string iptablesBackend() {
    std::string version;
    if (!commandOutput({"iptables", "--version"}, version)) return "";
    if (version.find("nf_tables") != std::string::npos) return "nf_tables";
    if (version.find("legacy") != std::string::npos) return "legacy";
    return "";
}

// The kernel's ruleset on the answers' path: nftables' own tables, the
// tables iptables-nft manages (from its own listing, where every match is
// plain), and legacy iptables' tables, where there are any.
void readRuleset(FirewallFacts& f) {
    if (::geteuid() != 0) {
        f.unreadable = "reading it needs root";
        return;
    }
    std::string iptablesNft, json, listing, legacy;
    const bool nftTables = commandOutput({"iptables-nft-save"}, iptablesNft);
    const bool nft = commandOutput({"nft", "-j", "list", "ruleset"}, json) &&
                     commandOutput({"nft", "-a", "list", "ruleset"}, listing);
    // Only where the legacy tables are loaded already: reading them must not
    // load them.
    const bool legacyLoaded = !fileText("/proc/net/ip_tables_names").empty();
    const bool legacyRead = legacyLoaded && commandOutput({"iptables-legacy-save"}, legacy);
    if (!nft && !nftTables && !legacyRead) {
        f.unreadable =
            legacyLoaded ? "iptables-legacy-save failed" : "neither nft nor iptables is installed to read it";
        return;
    }
    f.read = true;
    // Every table once: nft's own description, but iptables-nft-save's where
    // nft shows iptables' matches only as opaque expressions.
    Ruleset managed = rulesetFromIptablesSave(nftTables ? iptablesNft : "", Chain::IPTABLES_NFT);
    f.ruleset = nft ? mergeIptablesNft(rulesetFromNft(json, listing), std::move(managed)) : std::move(managed);
    if (legacyRead) append(f.ruleset, rulesetFromIptablesSave(legacy, Chain::IPTABLES_LEGACY));
    const std::string backend = iptablesBackend();
    f.iptablesNft = backend == "nf_tables" ? "iptables" : "iptables-nft";
    f.iptablesLegacy = backend == "legacy" ? "iptables" : "iptables-legacy";
}

FirewallFacts firewallFacts() {
    FirewallFacts f;
    // All of these are readable by any user.
    f.ufwEnabled = ufwEnabledIn(fileText("/etc/ufw/ufw.conf"));
    for (const char* profile : {"webfind", "webfind-announce"}) {
        const std::string name = profile;
        if (exists(("/etc/ufw/applications.d/" + name).c_str())) f.ufwProfiles.push_back(name);
        if (exists(("/usr/lib/firewalld/services/" + name + ".xml").c_str()) ||
            exists(("/etc/firewalld/services/" + name + ".xml").c_str()))
            f.firewalldServices.push_back(name);
    }
    f.firewalldRunning = processRunning("firewalld");
    f.nftablesConf = exists("/etc/nftables.conf");
    f.netfilterPersistent = exists("/usr/sbin/netfilter-persistent") || exists("/sbin/netfilter-persistent");
    readRuleset(f);
    return f;
}

WslFacts wslFacts() {
    WslFacts w;
    w.wsl2 = wslHere() == Wsl::WSL2;
    if (!w.wsl2) return w;
    std::string mode;
    if (commandOutput({"wslinfo", "--networking-mode"}, mode)) {
        while (!mode.empty() && std::isspace(static_cast<unsigned char>(mode.back()))) mode.pop_back();
        w.networkingMode = mode;
    }
    return w;
}

// Complete entries of the ARP table, counted by interface.
std::map<std::string, int> neighbours() {
    std::map<std::string, int> count;
    std::istringstream lines(fileText("/proc/net/arp"));
    std::string line;
    std::getline(lines, line);  // the heading
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string address, type, flags, mac, mask, device;
        if (fields >> address >> type >> flags >> mac >> mask >> device && flags != "0x0") ++count[device];
    }
    return count;
}

std::pair<uint16_t, uint16_t> ephemeralPorts() {
    std::istringstream range(fileText("/proc/sys/net/ipv4/ip_local_port_range"));
    unsigned low = 0, high = 0;
    if (range >> low >> high && low > 0 && low <= high && high <= 65535)
        return {static_cast<uint16_t>(low), static_cast<uint16_t>(high)};
    return {32768, 60999};
}

// The inode of the socket bound to local UDP `port`, from /proc/net/udp.
std::string socketInode(uint16_t port) {
    std::istringstream lines(fileText("/proc/net/udp"));
    std::string line;
    std::getline(lines, line);  // the heading
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string slot, local, remote, state, queues, timer, retransmits, uid, timeout, inode;
        if (!(fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid >> timeout >> inode))
            continue;
        size_t colon = local.find(':');
        if (colon != std::string::npos && std::stoul(local.substr(colon + 1), nullptr, 16) == port) return inode;
    }
    return "";
}

}  // namespace

std::string udpPortHolder(uint16_t port) {
    const std::string inode = socketInode(port);
    if (inode.empty() || inode == "0") return "";
    const std::string wanted = "socket:[" + inode + "]";
    DIR* proc = ::opendir("/proc");
    if (!proc) return "";
    std::string holder;
    while (dirent* entry = ::readdir(proc)) {
        if (!std::isdigit(static_cast<unsigned char>(entry->d_name[0]))) continue;
        const std::string pid = entry->d_name;
        DIR* fds = ::opendir(("/proc/" + pid + "/fd").c_str());
        if (!fds) continue;  // another user's
        while (dirent* fd = ::readdir(fds)) {
            char target[64];
            ssize_t n = ::readlink(("/proc/" + pid + "/fd/" + fd->d_name).c_str(), target, sizeof target - 1);
            if (n > 0 && std::string(target, static_cast<size_t>(n)) == wanted) {
                std::string name = fileText(("/proc/" + pid + "/comm").c_str());
                while (!name.empty() && name.back() == '\n') name.pop_back();
                holder = name + " (pid " + pid + ")";
                break;
            }
        }
        ::closedir(fds);
        if (!holder.empty()) break;
    }
    ::closedir(proc);
    return holder;
}

HostFacts gatherHostFacts(bool withNeighbours) {
    HostFacts facts;
    gatherNetworkFacts(facts);
    facts.neighboursKnown = withNeighbours && ::access("/proc/net/arp", R_OK) == 0;
    if (withNeighbours) facts.neighbours = neighbours();
    facts.ephemeralPorts = ephemeralPorts();
    facts.firewall = firewallFacts();
    facts.wsl = wslFacts();
    return facts;
}

}  // namespace webfind
