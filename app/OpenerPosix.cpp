#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/HostFacts.h"
#include "app/Opener.h"

extern char** environ;

namespace webfind {

namespace {

#if defined(__APPLE__)
const char* const OPENER = "open";

// A Mac always has its desktop.
bool graphicalSession(std::string&) { return true; }
#else
const char* const OPENER = "xdg-open";

// Without a graphical session xdg-open falls back to a text-mode browser,
// which has no place in a tool that may run over SSH or from a script.
bool graphicalSession(std::string& why) {
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if ((x11 && *x11) || (wayland && *wayland)) return true;
    why = "no graphical session (neither DISPLAY nor WAYLAND_DISPLAY is set)";
    return false;
}
#endif

// Its own session: a text-mode browser that the opener may fall back to can
// never take over the user's terminal.
#ifdef POSIX_SPAWN_SETSID
constexpr short NEW_SESSION = POSIX_SPAWN_SETSID;
#else
constexpr short NEW_SESSION = 0;
#endif

// Children we never wait for are reaped by the kernel instead of lingering as
// zombies while the tool runs; the opener itself gets the default back.
void reapChildrenAutomatically() {
    static bool done = false;
    if (done) return;
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGCHLD, &ignore, nullptr);
    done = true;
}

}  // namespace

// Under WSL the Windows desktop takes URLs through wslview, with or without
// a Linux graphical session.
bool desktopAvailable(std::string& why) { return runningUnderWsl() || graphicalSession(why); }

bool openUrl(const std::string& url, std::string& why) {
    reapChildrenAutomatically();

    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGCHLD);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | NEW_SESSION);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);

    // The URL comes from the network: it is one argument (or part of one),
    // and no shell sees it. The first command that starts wins.
    int result = ENOENT;
    std::string tried;
    for (std::vector<std::string>& command : openerCommands(url, std::getenv("BROWSER"), runningUnderWsl(), OPENER)) {
        std::vector<char*> argv;
        for (std::string& word : command) argv.push_back(&word[0]);
        argv.push_back(nullptr);
        pid_t child = 0;
        result = posix_spawnp(&child, argv[0], &actions, &attributes, argv.data(), environ);
        if (result == 0) break;
        tried += (tried.empty() ? "" : ", ") + command[0] + ": " + std::strerror(result);
    }

    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (result != 0) {
        why = tried;
        return false;
    }
    return true;
}

}  // namespace webfind
