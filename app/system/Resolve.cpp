#include "app/system/HostName.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#endif

#include <algorithm>

namespace webfind {

bool addressesOf(const std::string& name, std::vector<std::array<uint8_t, 4>>& addresses) {
#ifdef _WIN32
    // The resolver needs the socket layer; started once and kept, as sockets keep it.
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    if (!started) return false;
#endif
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(name.c_str(), nullptr, &hints, &found) != 0) return false;
    for (const addrinfo* a = found; a; a = a->ai_next) {
        if (a->ai_family != AF_INET) continue;
        const auto* in = reinterpret_cast<const sockaddr_in*>(a->ai_addr);
        std::array<uint8_t, 4> bytes;
        const auto* raw = reinterpret_cast<const uint8_t*>(&in->sin_addr);
        std::copy(raw, raw + 4, bytes.begin());
        if (std::find(addresses.begin(), addresses.end(), bytes) == addresses.end()) addresses.push_back(bytes);
    }
    freeaddrinfo(found);
    return !addresses.empty();
}

}  // namespace webfind
