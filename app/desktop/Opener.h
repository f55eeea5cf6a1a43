#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace webfind {

// False, with the reason in `why`, when there is no desktop session to hand
// URLs to (on Linux and the BSDs: neither DISPLAY nor WAYLAND_DISPLAY is set).
bool desktopAvailable(std::string& why);

// Asks the desktop to open `url` with the handler registered for its scheme,
// without waiting for it. False, with the reason in `why`, when the handler
// could not be started at all.
bool openUrl(const std::string& url, std::string& why);

// Gives the openers started a moment (OPENER_GRACE at most, in all) to end.
// Each way to open a URL that could not be started, or that ended with a
// failure before then, is said on `err`, and the next way is tried for that
// URL. Openers still running are left to run.
void settleOpeners(std::ostream& err);

// The commands a POSIX desktop tries in turn to open `url`, the first that
// starts winning: each one that BROWSER lists (separated by colons, words
// split at spaces, "%s" standing for the URL and "%%" for a percent sign;
// without "%s" the URL is added as the last word), then wslview under WSL,
// then `systemOpener`. No shell ever sees them.
std::vector<std::vector<std::string>> openerCommands(const std::string& url, const char* browser, bool wsl,
                                                     const char* systemOpener);

}  // namespace webfind
