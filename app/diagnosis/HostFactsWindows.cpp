// Host facts on Windows: the interfaces, the route, and Windows' own
// firewall as far as the registry tells: the category of the network last
// connected and whether the firewall is on for it.

#include <windows.h>

#include <string>

#include "app/diagnosis/HostFacts.h"

namespace webfind {

namespace {

bool readDword(HKEY root, const char* path, const char* name, DWORD& value) {
    DWORD size = sizeof value;
    return RegGetValueA(root, path, name, RRF_RT_REG_DWORD, nullptr, &value, &size) == ERROR_SUCCESS;
}

// The network profile connected last, by its category: 0 Public, 1 Private,
// 2 Domain. -1 when none is known.
int lastNetworkCategory() {
    const char* const profiles = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\NetworkList\\Profiles";
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, profiles, 0, KEY_READ, &key) != ERROR_SUCCESS) return -1;
    int category = -1;
    SYSTEMTIME latest{};
    char name[256];
    for (DWORD i = 0;; ++i) {
        DWORD length = sizeof name;
        if (RegEnumKeyExA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        const std::string path = std::string(profiles) + "\\" + name;
        DWORD value = 0;
        if (!readDword(HKEY_LOCAL_MACHINE, path.c_str(), "Category", value)) continue;
        SYSTEMTIME connected{};
        DWORD size = sizeof connected;
        RegGetValueA(HKEY_LOCAL_MACHINE, path.c_str(), "DateLastConnected", RRF_RT_REG_BINARY, nullptr, &connected,
                     &size);
        FILETIME a{}, b{};
        SystemTimeToFileTime(&connected, &a);
        SystemTimeToFileTime(&latest, &b);
        if (category < 0 || CompareFileTime(&a, &b) > 0) {
            category = static_cast<int>(value);
            latest = connected;
        }
    }
    RegCloseKey(key);
    return category;
}

WindowsFacts windowsFacts() {
    WindowsFacts w;
    w.windows = true;
    const int category = lastNetworkCategory();
    const char* const profile[] = {"Public", "Private", "Domain"};
    const char* const policy[] = {"PublicProfile", "StandardProfile", "DomainProfile"};
    if (category < 0 || category > 2) return w;
    w.profile = profile[category];
    const std::string path =
        std::string("SYSTEM\\CurrentControlSet\\Services\\SharedAccess\\Parameters\\FirewallPolicy\\") +
        policy[category];
    DWORD enabled = 0;
    if (readDword(HKEY_LOCAL_MACHINE, path.c_str(), "EnableFirewall", enabled)) w.firewallOn = enabled ? 1 : 0;
    return w;
}

}  // namespace

std::string udpPortHolder(uint16_t) { return ""; }

HostFacts gatherHostFacts(bool) {
    HostFacts facts;
    gatherNetworkFacts(facts);
    facts.windows = windowsFacts();
    return facts;
}

}  // namespace webfind
