// The system's resolver, for the one lookup a URL's host name gets.

// The same calls on both systems; only their headers differ.
#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#endif

#include <algorithm>
#include <cstring>

#include "app/inspect/Check.h"

namespace webfind {

std::vector<Address> resolveHost(const std::string& host) {
    std::vector<Address> found;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &list) != 0) return found;
    for (addrinfo* a = list; a; a = a->ai_next) {
        if (a->ai_family != AF_INET) continue;
        Address address;
        std::memcpy(address.bytes.data(), &reinterpret_cast<const sockaddr_in*>(a->ai_addr)->sin_addr, 4);
        if (std::find(found.begin(), found.end(), address) == found.end()) found.push_back(address);
    }
    freeaddrinfo(list);
    return found;
}

}  // namespace webfind
