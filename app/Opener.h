#pragma once

#include <string>

namespace webfind {

// False, with the reason in `why`, when there is no desktop session to hand
// URLs to (on Linux and the BSDs: neither DISPLAY nor WAYLAND_DISPLAY is set).
bool desktopAvailable(std::string& why);

// Asks the desktop to open `url` with the handler registered for its scheme,
// without waiting for it. False, with the reason in `why`, when the handler
// could not be started at all.
bool openUrl(const std::string& url, std::string& why);

}  // namespace webfind
