#include <errno.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <climits>
#include <cstring>
#include <fstream>
#include <string>

#include "Network/PosixSystem.h"

namespace BRIVO::posix {

int setReceiveBufferSize(int fd, const void* value, socklen_t length) {
    if (::setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, value, length) == 0) return 0;
    return ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, value, length) == 0 ? 0 : -1;
}

long receiveBatch(Handle h, DatagramSlot* slots, size_t count, long (*)(Handle, DatagramSlot*, size_t)) {
    constexpr size_t MAX_BATCH = 64;
    if (count > MAX_BATCH) count = MAX_BATCH;
    mmsghdr messages[MAX_BATCH];
    iovec parts[MAX_BATCH];
    sockaddr_in sources[MAX_BATCH];
    for (size_t i = 0; i < count; ++i) {
        parts[i] = iovec{slots[i].data, slots[i].capacity};
        sources[i] = sockaddr_in{};
        messages[i] = mmsghdr{};
        messages[i].msg_hdr.msg_name = &sources[i];
        messages[i].msg_hdr.msg_namelen = sizeof sources[i];
        messages[i].msg_hdr.msg_iov = &parts[i];
        messages[i].msg_hdr.msg_iovlen = 1;
    }
    int fd = h > static_cast<Handle>(INT_MAX) ? -1 : static_cast<int>(h);
    int n = ::recvmmsg(fd, messages, static_cast<unsigned>(count), MSG_DONTWAIT, nullptr);
    if (n < 0) return (errno == EAGAIN || errno == EWOULDBLOCK) ? 0 : -1;
    for (int i = 0; i < n; ++i) {
        std::memcpy(slots[i].from.port, &sources[i].sin_port, 2);
        std::memcpy(slots[i].from.address, &sources[i].sin_addr, 4);
        // Linux cuts an oversized datagram to the slot; MSG_TRUNC tells, and
        // it is reported as too long, as a single receive reports it.
        bool cut = (messages[i].msg_hdr.msg_flags & MSG_TRUNC) != 0;
        slots[i].length = cut ? static_cast<long>(slots[i].capacity) + 1 : static_cast<long>(messages[i].msg_len);
    }
    return n;
}

namespace {

bool exists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

long numberIn(const std::string& path) {
    std::ifstream in(path);
    long value = -1;
    in >> value;
    return in ? value : -1;
}

}  // namespace

// What sysfs says of the interface (ARPHRD_* link types in "type").
InterfaceKind interfaceKind(const char* name, unsigned flags) {
    constexpr long ARPHRD_PPP_LINK = 512, ARPHRD_TUNNEL_LINK = 768, ARPHRD_SIT_LINK = 776,
                   ARPHRD_GRE_LINK = 778, ARPHRD_NO_HEADER = 65534;  // tun and WireGuard
    if (flags & IFF_LOOPBACK) return InterfaceKind::LOOPBACK;
    const std::string dir = std::string("/sys/class/net/") + name;
    if (exists(dir + "/bridge")) return InterfaceKind::BRIDGE;
    if (exists(dir + "/tun_flags")) return InterfaceKind::TUNNEL;
    long type = numberIn(dir + "/type");
    if (type == ARPHRD_TUNNEL_LINK || type == ARPHRD_SIT_LINK || type == ARPHRD_GRE_LINK || type == ARPHRD_NO_HEADER)
        return InterfaceKind::TUNNEL;
    if (type == ARPHRD_PPP_LINK || (flags & IFF_POINTOPOINT)) return InterfaceKind::POINT_TO_POINT;
    if (exists(dir + "/wireless") || exists(dir + "/phy80211")) return InterfaceKind::WIRELESS;
    if (exists(dir + "/device")) return InterfaceKind::HARDWARE;
    if (exists(dir)) return InterfaceKind::VIRTUAL;
    return InterfaceKind::UNKNOWN;
}

}  // namespace BRIVO::posix
