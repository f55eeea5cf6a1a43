#include <cstdlib>
#include <string>
#include <vector>

#include "app/desktop/Opener.h"
#include "app/system/Spawn.h"
#include "app/system/Wsl.h"

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

// The openers started in this run. They are never waited for, only reaped
// once they have ended, so that none lingers as a zombie while we run.
std::vector<Child>& started() {
    static std::vector<Child> children;
    return children;
}

void reapEnded() {
    std::vector<Child>& children = started();
    for (auto it = children.begin(); it != children.end();) it = it->ended() ? children.erase(it) : it + 1;
}

}  // namespace

// Under WSL the Windows desktop takes URLs through wslview, with or without
// a Linux graphical session.
bool desktopAvailable(std::string& why) { return wslHere() != Wsl::NONE || graphicalSession(why); }

bool openUrl(const std::string& url, std::string& why) {
    reapEnded();
    // The URL comes from the network: it is one argument (or part of one),
    // and no shell sees it. The first command that starts wins.
    SpawnOptions options;
    options.newSession = true;
    std::string tried;
    for (const std::vector<std::string>& command :
         openerCommands(url, std::getenv("BROWSER"), wslHere() != Wsl::NONE, OPENER)) {
        Child child;
        std::string failure;
        if (spawn(command, options, child, failure)) {
            started().push_back(std::move(child));
            return true;
        }
        tried += (tried.empty() ? "" : ", ") + command[0] + ": " + failure;
    }
    why = tried;
    return false;
}

}  // namespace webfind
