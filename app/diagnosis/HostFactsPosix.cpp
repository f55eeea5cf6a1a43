// Host facts on Linux (and, as far as they go, other POSIX systems): files
// under /etc, /proc and /sys, and the firewall's own tools where root may
// read the ruleset.

#include <dirent.h>
#include <unistd.h>

#include <cctype>
#include <string>

#include "app/diagnosis/HostFacts.h"
#include "app/system/Files.h"
#include "app/system/Spawn.h"
#include "app/system/Wsl.h"

namespace webfind {

namespace {

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

FirewallFacts firewallFacts() {
    FirewallFacts f;
    // Both are readable by any user.
    f.ufwEnabled = ufwEnabledIn(fileText("/etc/ufw/ufw.conf"));
    f.firewalldRunning = processRunning("firewalld");
    // The kernel's ruleset only for root: nftables first, which also shows
    // iptables-nft's rules; legacy iptables where nft is not installed.
    if (::geteuid() != 0) return f;
    std::string text;
    if (commandOutput({"nft", "list", "ruleset"}, text))
        f.drops = dropsInNftRuleset(text);
    else if (commandOutput({"iptables", "-S", "INPUT"}, text))
        f.drops = dropsInIptables(text);
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

}  // namespace

HostFacts gatherHostFacts() {
    HostFacts facts;
    gatherNetworkFacts(facts);
    facts.firewall = firewallFacts();
    facts.wsl = wslFacts();
    return facts;
}

}  // namespace webfind
