#pragma once

#include <string>

namespace webfind {

// The Windows Subsystem for Linux: WSL 1 shares Windows' own network; WSL 2
// runs in a virtual machine behind its own.
enum class Wsl { NONE, WSL1, WSL2 };

// Which one, from /proc/sys/kernel/osrelease and whether WSL_DISTRO_NAME is
// set (it is under both, and under a custom WSL 2 kernel that does not name
// Microsoft).
Wsl wslFrom(const std::string& osRelease, bool distroNameSet);

// This host's (NONE on Windows itself).
Wsl wslHere();

}  // namespace webfind
