#include <errno.h>
#include <time.h>
// After time.h: it uses struct timespec.
#include <linux/errqueue.h>
#include <linux/neighbour.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

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

size_t sendBatch(int fd, const OutgoingDatagram* datagrams, size_t count) {
    constexpr size_t MAX_BATCH = 64;
    mmsghdr messages[MAX_BATCH];
    iovec parts[MAX_BATCH];
    sockaddr_in destinations[MAX_BATCH];
    alignas(cmsghdr) char controls[MAX_BATCH][SOURCE_CONTROL];
    size_t sent = 0;
    while (sent < count) {
        const size_t n = count - sent < MAX_BATCH ? count - sent : MAX_BATCH;
        for (size_t i = 0; i < n; ++i) {
            messages[i] = mmsghdr{};
            messages[i].msg_hdr = outgoingMessage(datagrams[sent + i], destinations[i], parts[i], controls[i]);
        }
        const int r = ::sendmmsg(fd, messages, static_cast<unsigned>(n), 0);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return sent;
        sent += static_cast<size_t>(r);
    }
    return sent;
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
    constexpr long ARPHRD_PPP_LINK = 512, ARPHRD_TUNNEL_LINK = 768, ARPHRD_SIT_LINK = 776, ARPHRD_GRE_LINK = 778,
                   ARPHRD_NO_HEADER = 65534;  // tun and WireGuard
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

int openInterfaceWatch() {
    const int fd = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_ROUTE);
    if (fd < 0) return -1;
    sockaddr_nl local{};
    local.nl_family = AF_NETLINK;
    local.nl_groups = RTMGRP_LINK | RTMGRP_IPV4_IFADDR;
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

int takeInterfaceEvents(int fd) {
    alignas(nlmsghdr) char message[8192];
    int changed = 0;
    for (;;) {
        const ssize_t n = ::recv(fd, message, sizeof message, MSG_DONTWAIT);
        if (n > 0) {
            changed = 1;
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return changed;
        // ENOBUFS: more came than the queue held; what was lost is read anew.
        if (n < 0 && errno == ENOBUFS) {
            changed = 1;
            continue;
        }
        return -1;
    }
}

namespace {

// The socket that asks the kernel about neighbours, one a thread, opened
// when first needed and kept: an announcer asks many times a second.
class NeighbourAsker {
public:
    ~NeighbourAsker() {
        if (fd >= 0) ::close(fd);
    }
    NeighbourState ask(uint32_t index, const uint8_t (&address)[4]) {
        if (fd < 0) fd = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_ROUTE);
        if (fd < 0) return NeighbourState::UNKNOWN;
        struct {
            nlmsghdr header;
            ndmsg neighbour;
            rtattr destination;
            uint8_t address[4];
        } request{};
        request.header.nlmsg_len = sizeof request;
        request.header.nlmsg_type = RTM_GETNEIGH;
        request.header.nlmsg_flags = NLM_F_REQUEST;
        request.header.nlmsg_seq = ++sequence;
        request.neighbour.ndm_family = AF_INET;
        request.neighbour.ndm_ifindex = static_cast<int>(index);
        request.destination.rta_type = NDA_DST;
        request.destination.rta_len = RTA_LENGTH(sizeof request.address);
        std::memcpy(request.address, address, sizeof request.address);
        if (::send(fd, &request, sizeof request, 0) != static_cast<ssize_t>(sizeof request))
            return NeighbourState::UNKNOWN;
        // The kernel answers within the send; a short wait covers the rest.
        for (int attempt = 0; attempt < 4; ++attempt) {
            alignas(nlmsghdr) char reply[1024];
            const ssize_t n = ::recv(fd, reply, sizeof reply, MSG_DONTWAIT);
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                pollfd p{fd, POLLIN, 0};
                ::poll(&p, 1, 5);
                continue;
            }
            if (n <= 0) return NeighbourState::UNKNOWN;
            unsigned left = static_cast<unsigned>(n);
            for (auto* h = reinterpret_cast<nlmsghdr*>(reply); NLMSG_OK(h, left); h = NLMSG_NEXT(h, left)) {
                if (h->nlmsg_seq != sequence) continue;  // an answer to an earlier question
                if (h->nlmsg_type == NLMSG_ERROR) {
                    const auto* error = static_cast<const nlmsgerr*>(NLMSG_DATA(h));
                    return error->error == -ENOENT ? NeighbourState::NONE : NeighbourState::UNKNOWN;
                }
                if (h->nlmsg_type == RTM_NEWNEIGH) return stateOf(static_cast<const ndmsg*>(NLMSG_DATA(h))->ndm_state);
            }
        }
        return NeighbourState::UNKNOWN;
    }

private:
    static NeighbourState stateOf(uint16_t nud) {
        if (nud & NUD_FAILED) return NeighbourState::FAILED;
        if (nud & NUD_INCOMPLETE) return NeighbourState::INCOMPLETE;
        if (nud & NUD_STALE) return NeighbourState::STALE;
        if (nud & (NUD_REACHABLE | NUD_DELAY | NUD_PROBE | NUD_PERMANENT | NUD_NOARP)) return NeighbourState::REACHABLE;
        return NeighbourState::NONE;
    }
    int fd = -1;
    uint32_t sequence = 0;
};

}  // namespace

NeighbourState neighbourState(uint32_t index, const uint8_t (&address)[4]) {
    static thread_local NeighbourAsker asker;
    return asker.ask(index, address);
}

int reportUnreachable(int fd, const void* value, socklen_t length) {
    return ::setsockopt(fd, IPPROTO_IP, IP_RECVERR, value, length);
}

// The error queue gives the datagram that failed: its destination as the
// source address, and the ICMP message that said why.
long takeUnreachable(int fd, uint8_t (&to)[4]) {
    sockaddr_in destination{};
    char byte = 0;
    iovec part{&byte, 1};
    alignas(cmsghdr) char control[256];
    msghdr message = messageFor(destination, part, control);
    if (::recvmsg(fd, &message, MSG_ERRQUEUE | MSG_DONTWAIT) < 0)
        return (errno == EAGAIN || errno == EWOULDBLOCK) ? NOTHING_WAITING : -1;
    for (cmsghdr* c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c)) {
        if (c->cmsg_level != IPPROTO_IP || c->cmsg_type != IP_RECVERR) continue;
        sock_extended_err error;
        std::memcpy(&error, CMSG_DATA(c), sizeof error);
        // ICMP destination unreachable, code 3: nothing listens at the port.
        if (error.ee_origin == SO_EE_ORIGIN_ICMP && error.ee_type == 3 && error.ee_code == 3) {
            std::memcpy(to, &destination.sin_addr, 4);
            return 1;
        }
    }
    return 0;
}

}  // namespace BRIVO::posix
