#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstring>

#include "Interfaces.h"

std::vector<NetInterface> listInterfaces() {
    std::vector<NetInterface> found;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return found;
    for (ifaddrs* i = list; i; i = i->ifa_next) {
        if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET) continue;
        NetInterface entry{};
        entry.name = i->ifa_name;
        std::memcpy(entry.address, &reinterpret_cast<const sockaddr_in*>(i->ifa_addr)->sin_addr, 4);
        entry.up = (i->ifa_flags & IFF_UP) != 0;
        entry.multicast = (i->ifa_flags & IFF_MULTICAST) != 0;
        entry.loopback = (i->ifa_flags & IFF_LOOPBACK) != 0;
        found.push_back(entry);
    }
    freeifaddrs(list);
    return found;
}
