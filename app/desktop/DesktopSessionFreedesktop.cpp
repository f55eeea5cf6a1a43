#include <cstdlib>

#include "app/desktop/DesktopSession.h"

namespace webfind {

const char* systemOpener() { return "xdg-open"; }

// Without a graphical session xdg-open falls back to a text-mode browser,
// which has no place in a tool that may run over SSH or from a script.
bool graphicalSession(std::string& why) {
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if ((x11 && *x11) || (wayland && *wayland)) return true;
    why = "no graphical session (neither DISPLAY nor WAYLAND_DISPLAY is set)";
    return false;
}

}  // namespace webfind
