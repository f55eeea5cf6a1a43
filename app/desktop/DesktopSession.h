#pragma once

#include <string>

namespace webfind {

// What differs between the POSIX desktops: CMake builds
// DesktopSessionMac.cpp on macOS and DesktopSessionFreedesktop.cpp on the
// others.

// The desktop's own opener of URLs: "xdg-open", "open".
const char* systemOpener();

// False, with the reason, when there is no graphical session to open URLs in.
bool graphicalSession(std::string& why);

}  // namespace webfind
