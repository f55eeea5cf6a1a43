#include "app/system/Wsl.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "app/system/Files.h"

namespace webfind {

Wsl wslFrom(const std::string& osRelease, bool distroNameSet) {
    std::string lower = osRelease;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    // WSL 2's kernel says "microsoft-standard" (and often "WSL2"); WSL 1
    // reports "...-Microsoft".
    if (lower.find("microsoft-standard") != std::string::npos || lower.find("wsl2") != std::string::npos)
        return Wsl::WSL2;
    if (osRelease.find("Microsoft") != std::string::npos) return Wsl::WSL1;
    if (distroNameSet) return Wsl::WSL2;
    return lower.find("microsoft") != std::string::npos ? Wsl::WSL1 : Wsl::NONE;
}

Wsl wslHere() {
    const char* distro = std::getenv("WSL_DISTRO_NAME");
    return wslFrom(fileText("/proc/sys/kernel/osrelease"), distro && *distro);
}

}  // namespace webfind
