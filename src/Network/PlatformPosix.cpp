// The POSIX socket layer behind the Platform table.

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>

#include "Network/Platform.h"
#include "Network/PosixSystem.h"

namespace BRIVO {

namespace {
namespace entries {

int toFd(Handle h) { return h > static_cast<Handle>(INT_MAX) ? -1 : static_cast<int>(h); }

// The errno of the last call that failed, kept before a close on the way out
// can change errno.
thread_local int lastErrno = 0;

// Records errno and answers `result` (the call's failure value).
template <typename T>
T failed(T result) {
    lastErrno = errno;
    return result;
}

SocketError lastError() {
    SocketError e;
    e.code = lastErrno;
    if (lastErrno == 0) return e;
    e.text = std::strerror(lastErrno);
    switch (lastErrno) {
    case ENETUNREACH:
    case EHOSTUNREACH: e.kind = SocketError::NO_ROUTE; break;
    case EADDRINUSE: e.kind = SocketError::ADDRESS_IN_USE; break;
    case ECONNREFUSED: e.kind = SocketError::REFUSED; break;
    case EACCES:
    case EPERM: e.kind = SocketError::ACCESS_DENIED; break;
#if EWOULDBLOCK != EAGAIN
    case EWOULDBLOCK:
#endif
    case EAGAIN: e.kind = SocketError::WOULD_BLOCK; break;
    default: e.kind = SocketError::OTHER;
    }
    return e;
}

sockaddr_in toSockaddr(const AddressV4& a) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    std::memcpy(&sa.sin_port, a.port, sizeof a.port);
    std::memcpy(&sa.sin_addr, a.address, sizeof a.address);
    return sa;
}

void fromSockaddr(const sockaddr_in& sa, AddressV4& a) {
    std::memcpy(a.port, &sa.sin_port, sizeof a.port);
    std::memcpy(a.address, &sa.sin_addr, sizeof a.address);
}

// Never set back, and counting the time the host slept, as Windows' tick
// count does: a program that waits across a suspend sees it as the gap it
// was.
uint64_t monotonicMs() {
    timespec ts{};
#ifdef CLOCK_BOOTTIME
    clock_gettime(CLOCK_BOOTTIME, &ts);
#else
    clock_gettime(CLOCK_MONOTONIC, &ts);
#endif
    return static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
}

// There is no socket layer to start or stop on POSIX; the library's once-only
// start-up and its exit-time registration still run, with these as no-ops.
int startup() { return 0; }
void cleanup() {}
int registerAtExit(void (*handler)()) { return std::atexit(handler); }

Handle socket(SocketStyle style) {
    // Close-on-exec: no program we start (an opener, a browser) may keep it.
    int fd = ::socket(AF_INET, (style == SocketStyle::STREAM ? SOCK_STREAM : SOCK_DGRAM) | SOCK_CLOEXEC, 0);
    return fd < 0 ? failed(INVALID_HANDLE) : static_cast<Handle>(fd);
}

int bind(Handle h, const AddressV4& local) {
    sockaddr_in sa = toSockaddr(local);
    return ::bind(toFd(h), reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0 ? 0 : failed(-1);
}

int applyOption(Handle h, SocketOption option, const void* value, int length) {
    int fd = toFd(h);
    socklen_t size = static_cast<socklen_t>(length);
    switch (option) {
    case SocketOption::BROADCAST: return ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, value, size);
    case SocketOption::ADD_MEMBERSHIP: return ::setsockopt(fd, IPPROTO_IP, IP_ADD_MEMBERSHIP, value, size);
    case SocketOption::MULTICAST_INTERFACE: return ::setsockopt(fd, IPPROTO_IP, IP_MULTICAST_IF, value, size);
    case SocketOption::RECEIVE_BUFFER: return posix::setReceiveBufferSize(fd, value, size);
    case SocketOption::DROP_MEMBERSHIP: return ::setsockopt(fd, IPPROTO_IP, IP_DROP_MEMBERSHIP, value, size);
    case SocketOption::REUSE_ADDRESS: return ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, value, size);
    case SocketOption::PACKET_INFO: return ::setsockopt(fd, IPPROTO_IP, IP_PKTINFO, value, size);
    case SocketOption::RECEIVE_TIME: return ::setsockopt(fd, SOL_SOCKET, SO_TIMESTAMP, value, size);
    case SocketOption::UNREACHABLE_REPORTS: return posix::reportUnreachable(fd, value, size);
    case SocketOption::JOIN_ON:
    case SocketOption::LEAVE_ON: {
        if (size != sizeof(GroupOnInterface)) {
            errno = EINVAL;
            return -1;
        }
        GroupOnInterface g;
        std::memcpy(&g, value, sizeof g);
        ip_mreqn request{};
        std::memcpy(&request.imr_multiaddr, g.group, 4);
        request.imr_ifindex = static_cast<int>(g.interfaceIndex);
        return ::setsockopt(fd, IPPROTO_IP, option == SocketOption::JOIN_ON ? IP_ADD_MEMBERSHIP : IP_DROP_MEMBERSHIP,
                            &request, sizeof request);
    }
    }
    return -1;
}

int setOption(Handle h, SocketOption option, const void* value, int length) {
    int result = applyOption(h, option, value, length);
    return result < 0 ? failed(result) : result;
}

int setNonBlocking(Handle h, uint32_t nonBlocking) {
    int on = nonBlocking ? 1 : 0;
    return ::ioctl(toFd(h), FIONBIO, &on) == 0 ? 0 : failed(-1);
}

long sendTo(Handle h, const void* data, size_t length, const AddressV4& to) {
    sockaddr_in sa = toSockaddr(to);
    ssize_t n = ::sendto(toFd(h), data, length, 0, reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
    return n < 0 ? failed(-1L) : static_cast<long>(n);
}

// How long ago, in milliseconds, the wall-clock time `then` was; 0 for a
// time to come (the clock was set back).
uint32_t millisecondsSince(const timeval& then) {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    const int64_t ms = (static_cast<int64_t>(now.tv_sec) - then.tv_sec) * 1000 +
                       (static_cast<int64_t>(now.tv_nsec) / 1000 - then.tv_usec) / 1000;
    return ms <= 0 ? 0 : ms > INT32_MAX ? INT32_MAX : static_cast<uint32_t>(ms);
}

long receiveArrival(Handle h, void* data, size_t capacity, AddressV4& from, Arrival& arrival) {
    sockaddr_in sa{};
    iovec iov{data, capacity};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo)) + CMSG_SPACE(sizeof(timeval))];
    msghdr msg = posix::messageFor(sa, iov, control);
    arrival = Arrival{};
    // Never block here: a datagram that poll() saw may still be dropped (a bad
    // checksum), and then there is nothing to deliver.
    ssize_t n = ::recvmsg(toFd(h), &msg, MSG_DONTWAIT);
    if (n < 0) return (errno == EAGAIN || errno == EWOULDBLOCK) ? NOTHING_WAITING : failed(-1L);
    fromSockaddr(sa, from);
    for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
        if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO) {
            in_pktinfo info{};
            std::memcpy(&info, CMSG_DATA(c), sizeof info);
            std::memcpy(arrival.destination, &info.ipi_addr, 4);
            arrival.interfaceIndex = static_cast<uint32_t>(info.ipi_ifindex);
        } else if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMP) {
            timeval when{};
            std::memcpy(&when, CMSG_DATA(c), sizeof when);
            arrival.waitedMs = millisecondsSince(when);
        }
    }
    // POSIX cuts an oversized datagram to the buffer instead of failing the
    // call as Winsock does; MSG_TRUNC tells, and we report it as too long.
    if (msg.msg_flags & MSG_TRUNC) return static_cast<long>(capacity) + 1;
    return static_cast<long>(n);
}

int localAddress(Handle h, AddressV4& local) {
    sockaddr_in sa{};
    socklen_t length = sizeof sa;
    if (::getsockname(toFd(h), reinterpret_cast<sockaddr*>(&sa), &length) != 0) return failed(-1);
    fromSockaddr(sa, local);
    return 0;
}

long receiveFrom(Handle h, void* data, size_t capacity, AddressV4& from) {
    Arrival unused;
    const long n = receiveArrival(h, data, capacity, from, unused);
    return n == NOTHING_WAITING ? 0 : n;  // reported as empty, as this receive always has
}

// poll(), not select(): an fd_set cannot hold descriptors at or above
// FD_SETSIZE. A signal does not shorten the wait: it resumes with what is
// left (a handler that wants it to end writes to `wake`).
int waitEither(Handle h, Handle wake, WaitTime limit) {
    pollfd p[2];
    nfds_t count = 0;
    const bool onSocket = h != INVALID_HANDLE;
    if (onSocket) {
        int fd = toFd(h);
        if (fd < 0) {
            errno = EBADF;
            return failed(-1);  // poll() would silently ignore it and wait in vain
        }
        p[count++] = pollfd{fd, POLLIN, 0};
    }
    if (wake != INVALID_HANDLE && toFd(wake) >= 0) p[count++] = pollfd{toFd(wake), POLLIN, 0};
    uint64_t total = static_cast<uint64_t>(limit.seconds) * 1000u + limit.microseconds / 1000u;
    uint64_t deadline = monotonicMs() + total;
    for (;;) {
        uint64_t now = monotonicMs();
        uint64_t left = now >= deadline ? 0 : deadline - now;
        int r = ::poll(p, count, static_cast<int>(left > INT_MAX ? INT_MAX : left));
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) return failed(-1);
        if (r == 0) return 0;
        if (onSocket && (p[0].revents & POLLNVAL)) {
            errno = EBADF;
            return failed(-1);
        }
        if (onSocket && p[0].revents) return 1;
        return 2;
    }
}

int waitReadable(Handle h, WaitTime limit) {
    if (toFd(h) < 0) {
        errno = EBADF;
        return failed(-1);  // poll() would silently ignore it and wait in vain
    }
    return waitEither(h, INVALID_HANDLE, limit);
}

int waitAny(const Handle* handles, size_t count, WaitTime limit) {
    constexpr size_t MOST = 8;
    pollfd p[MOST];
    size_t of[MOST];
    nfds_t n = 0;
    for (size_t i = 0; i < count && i < MOST; ++i) {
        if (handles[i] == INVALID_HANDLE) continue;
        if (toFd(handles[i]) < 0) {
            errno = EBADF;
            return failed(-1);
        }
        of[n] = i;
        p[n++] = pollfd{toFd(handles[i]), POLLIN, 0};
    }
    const uint64_t total = static_cast<uint64_t>(limit.seconds) * 1000u + limit.microseconds / 1000u;
    const uint64_t deadline = monotonicMs() + total;
    for (;;) {
        const uint64_t now = monotonicMs();
        const uint64_t left = now >= deadline ? 0 : deadline - now;
        const int r = ::poll(p, n, static_cast<int>(left > INT_MAX ? INT_MAX : left));
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) return failed(-1);
        int ready = 0;
        for (nfds_t i = 0; i < n; ++i) {
            if (p[i].revents & POLLNVAL) {
                errno = EBADF;
                return failed(-1);
            }
            if (p[i].revents) ready |= 1 << of[i];
        }
        return ready;
    }
}

Handle openInterfaceWatch() {
    const int fd = posix::openInterfaceWatch();
    return fd < 0 ? INVALID_HANDLE : static_cast<Handle>(fd);
}

int takeInterfaceEvents(Handle watch) { return posix::takeInterfaceEvents(toFd(watch)); }

void closeInterfaceWatch(Handle watch) {
    if (watch != INVALID_HANDLE) ::close(toFd(watch));
}

long takeUnreachable(Handle h, uint8_t (&to)[4]) {
    const long taken = posix::takeUnreachable(toFd(h), to);
    return taken == -1 ? failed(-1L) : taken;
}

size_t sendBatch(Handle h, const OutgoingDatagram* datagrams, size_t count) {
    const size_t sent = posix::sendBatch(toFd(h), datagrams, count);
    return sent < count ? failed(sent) : sent;
}

NeighbourState neighbourState(uint32_t index, const uint8_t (&address)[4]) {
    return posix::neighbourState(index, address);
}

uint32_t interfaceIndex(const std::string& name) { return ::if_nametoindex(name.c_str()); }

int connectTo(Handle h, const AddressV4& to, WaitTime limit) {
    const int fd = toFd(h);
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0) return failed(-1);
    sockaddr_in sa = toSockaddr(to);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0) return 0;
    if (errno != EINPROGRESS) return failed(-1);
    pollfd p{fd, POLLOUT, 0};
    const int ms = static_cast<int>(limit.seconds * 1000u + limit.microseconds / 1000u);
    int r;
    while ((r = ::poll(&p, 1, ms)) < 0 && errno == EINTR) {
    }
    if (r == 0) return -2;
    int error = 0;
    socklen_t size = sizeof error;
    if (r < 0 || ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0) return failed(-1);
    if (error != 0) {
        errno = error;
        return failed(-1);
    }
    return 0;
}

int shutdown(Handle h) { return ::shutdown(toFd(h), SHUT_RDWR) == 0 ? 0 : -1; }

int close(Handle h) { return ::close(toFd(h)) == 0 ? 0 : -1; }

void copyAddress(uint8_t (&to)[4], const sockaddr* from) {
    if (from && from->sa_family == AF_INET) std::memcpy(to, &reinterpret_cast<const sockaddr_in*>(from)->sin_addr, 4);
}

std::vector<LocalInterface> localInterfaces() {
    std::vector<LocalInterface> found;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) return found;
    for (ifaddrs* i = list; i; i = i->ifa_next) {
        if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET) continue;
        LocalInterface entry{};
        entry.name = i->ifa_name;
        copyAddress(entry.address, i->ifa_addr);
        copyAddress(entry.mask, i->ifa_netmask);
        entry.up = (i->ifa_flags & IFF_UP) != 0;
        entry.multicast = (i->ifa_flags & IFF_MULTICAST) != 0;
        entry.loopback = (i->ifa_flags & IFF_LOOPBACK) != 0;
        entry.carrier = (i->ifa_flags & IFF_RUNNING) != 0;
        entry.kind = posix::interfaceKind(i->ifa_name, i->ifa_flags);
        entry.index = ::if_nametoindex(i->ifa_name);
        found.push_back(entry);
    }
    ::freeifaddrs(list);
    return found;
}

// The interface list stands in for GetIpAddrTable: IPv4 addresses in the
// system's own order, in the same two-step size-then-table shape.
int32_t interfaceTable(InterfaceTable* table, uint32_t* size) {
    std::vector<LocalInterface> list = localInterfaces();
    uint32_t count = static_cast<uint32_t>(list.size());
    uint32_t needed = static_cast<uint32_t>(offsetof(InterfaceTable, rows) + count * sizeof(InterfaceRow));
    if (needed < sizeof(InterfaceTable)) needed = sizeof(InterfaceTable);
    if (!table || *size < needed) {
        *size = needed;
        return TABLE_INSUFFICIENT_BUFFER;
    }
    std::memset(table, 0, needed);
    table->count = count;
    for (uint32_t row = 0; row < count; ++row) {
        std::memcpy(&table->rows[row].address, list[row].address, 4);
        std::memcpy(&table->rows[row].mask, list[row].mask, 4);
    }
    return TABLE_NO_ERROR;
}

long receiveWaiting(Handle h, DatagramSlot* slots, size_t count) {
    long n = posix::receiveBatch(h, slots, count, [](Handle handle, DatagramSlot* s, size_t n) {
        return receiveWaitingOneByOne(waitReadable, receiveFrom, handle, s, n);
    });
    return n < 0 ? failed(n) : n;
}

// A connected datagram socket knows its route; connect() sends nothing.
int routeSource(const AddressV4& to, uint8_t (&source)[4]) {
    int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    sockaddr_in sa = toSockaddr(to);
    sockaddr_in local{};
    socklen_t length = sizeof local;
    int result = ::connect(fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0 &&
                         ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) == 0
                     ? 0
                     : -1;
    ::close(fd);
    if (result == 0) std::memcpy(source, &local.sin_addr, 4);
    return result;
}

void sleepMs(uint32_t milliseconds) {
    timespec left{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
    while (::nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

uint64_t nowMs() { return monotonicMs(); }

}  // namespace entries

Platform posixTable() {
    Platform table{};
    BRIVO_PLATFORM_ENTRIES(BRIVO_PLATFORM_FILL)
    return table;
}

}  // namespace

const Platform& systemPlatform() {
    static const Platform table = posixTable();
    return table;
}

}  // namespace BRIVO
