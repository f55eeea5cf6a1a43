#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>

#include <cstdlib>
#include <cstring>

#include "Opener.h"

extern char** environ;

namespace {

#if defined(__APPLE__)
const char* const OPENER = "open";
#else
const char* const OPENER = "xdg-open";
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

bool desktopAvailable(std::string& why) {
#if defined(__APPLE__)
    (void)why;
    return true;
#else
    // Without a graphical session xdg-open falls back to a text-mode browser,
    // which has no place in a tool that may run over SSH or from a script.
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if ((x11 && *x11) || (wayland && *wayland)) return true;
    why = "no graphical session (neither DISPLAY nor WAYLAND_DISPLAY is set)";
    return false;
#endif
}

bool openUrl(const std::string& url, std::string& why) {
    reapChildrenAutomatically();

    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGCHLD);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    short flags = POSIX_SPAWN_SETSIGDEF;
#ifdef POSIX_SPAWN_SETSID
    // Its own session: a text-mode browser that xdg-open may fall back to can
    // never take over the user's terminal.
    flags |= POSIX_SPAWN_SETSID;
#endif
    posix_spawnattr_setflags(&attributes, flags);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);

    // The URL comes from the network: it is one argument, and no shell sees it.
    std::string program = OPENER;
    std::string argument = url;
    char* argv[] = {&program[0], &argument[0], nullptr};
    pid_t child = 0;
    int result = posix_spawnp(&child, OPENER, &actions, &attributes, argv, environ);

    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (result != 0) {
        why = std::string(OPENER) + ": " + std::strerror(result);
        return false;
    }
    return true;
}
