// Host facts on Linux (and, as far as they go, other POSIX systems): files
// under /etc, /proc and /sys, and the firewall's own tools where root may
// read the ruleset.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <sstream>

#include "app/HostFacts.h"

extern char** environ;

namespace webfind {

namespace {

std::string fileText(const char* path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Runs `argv` (no shell) and takes its standard output, at most `limit`
// bytes and two seconds: a tool that hangs must not hang the diagnosis.
bool commandOutput(std::vector<std::string> argv, std::string& output) {
    constexpr size_t LIMIT = 1 << 20;
    constexpr int SECONDS = 2;
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
    std::vector<char*> args;
    for (std::string& a : argv) args.push_back(&a[0]);
    args.push_back(nullptr);
    pid_t child = 0;
    int spawned = ::posix_spawnp(&child, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeEnds[1]);
    if (spawned != 0) {
        ::close(pipeEnds[0]);
        return false;
    }
    output.clear();
    char chunk[4096];
    bool timedOut = false;
    for (;;) {
        pollfd p{pipeEnds[0], POLLIN, 0};
        int ready = ::poll(&p, 1, SECONDS * 1000);
        if (ready <= 0) {
            timedOut = ready == 0;
            if (ready < 0 && errno == EINTR) continue;
            break;
        }
        ssize_t n = ::read(pipeEnds[0], chunk, sizeof chunk);
        if (n <= 0) break;
        if (output.size() < LIMIT) output.append(chunk, static_cast<size_t>(n));
    }
    ::close(pipeEnds[0]);
    if (timedOut) ::kill(child, SIGKILL);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return !timedOut && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

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
    const char* distro = std::getenv("WSL_DISTRO_NAME");
    w.wsl2 = wsl2Kernel(fileText("/proc/sys/kernel/osrelease"), distro && *distro);
    if (!w.wsl2) return w;
    std::string mode;
    if (commandOutput({"wslinfo", "--networking-mode"}, mode)) {
        while (!mode.empty() && std::isspace(static_cast<unsigned char>(mode.back()))) mode.pop_back();
        w.networkingMode = mode;
    }
    return w;
}

}  // namespace

bool runningUnderWsl() {
    const char* distro = std::getenv("WSL_DISTRO_NAME");
    if (distro && *distro) return true;
    std::string release = fileText("/proc/sys/kernel/osrelease");
    for (char& c : release) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return release.find("microsoft") != std::string::npos;
}

HostFacts gatherHostFacts() {
    HostFacts facts;
    gatherNetworkFacts(facts);
    facts.firewall = firewallFacts();
    facts.wsl = wslFacts();
    return facts;
}

}  // namespace webfind
