#include <ifaddrs.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __linux__
#include <linux/if_packet.h>
#endif

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/inspect/Hardware.h"
#include "app/system/Files.h"

namespace webfind {

namespace {

// This host's own addresses, with the hardware address of the interface
// each is on: no neighbour table lists them.
void addOwn(std::map<Address, std::string>& found) {
#ifdef __linux__
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) return;
    std::map<std::string, std::string> macs;
    for (ifaddrs* i = list; i; i = i->ifa_next) {
        if (!i->ifa_addr || i->ifa_addr->sa_family != AF_PACKET) continue;
        const auto* link = reinterpret_cast<const sockaddr_ll*>(i->ifa_addr);
        if (link->sll_halen != 6) continue;
        const unsigned char* p = link->sll_addr;
        char mac[18];
        std::snprintf(mac, sizeof mac, "%02x:%02x:%02x:%02x:%02x:%02x", p[0], p[1], p[2], p[3], p[4], p[5]);
        if (std::strcmp(mac, "00:00:00:00:00:00") != 0) macs[i->ifa_name] = mac;
    }
    for (ifaddrs* i = list; i; i = i->ifa_next) {
        if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET) continue;
        auto mac = macs.find(i->ifa_name);
        if (mac == macs.end()) continue;
        Address address;
        std::memcpy(address.bytes.data(), &reinterpret_cast<const sockaddr_in*>(i->ifa_addr)->sin_addr, 4);
        found[address] = mac->second;
    }
    ::freeifaddrs(list);
#else
    (void)found;
#endif
}

}  // namespace

// Linux's neighbour table, as /proc shows it, and this host's own
// addresses; empty elsewhere.
std::map<Address, std::string> neighbourTable() {
    std::map<Address, std::string> found = neighboursFromArp(fileText("/proc/net/arp"));
    addOwn(found);
    return found;
}

namespace {

// True when `path` is a folder (not a link) of this user's.
bool ownFolder(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::geteuid();
}

}  // namespace

std::string vendorIndexPath() {
    // As the XDG base directories have it; as root under sudo -E, never
    // another user's folder (the index found there would be theirs).
    const char* cache = std::getenv("XDG_CACHE_HOME");
    if (cache && cache[0] == '/') return ownFolder(cache) ? std::string(cache) + "/webfind/vendors.index" : "";
    const char* home = std::getenv("HOME");
    if (!home || home[0] != '/' || !ownFolder(home)) return "";
    const std::string below = std::string(home) + "/.cache";
    struct stat info {};
    if (::lstat(below.c_str(), &info) == 0 && !ownFolder(below)) return "";
    return below + "/webfind/vendors.index";
}

bool makeFoldersFor(const std::string& file) {
    for (size_t slash = file.find('/', 1); slash != std::string::npos; slash = file.find('/', slash + 1)) {
        const std::string folder = file.substr(0, slash);
        if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
    return true;
}

}  // namespace webfind
