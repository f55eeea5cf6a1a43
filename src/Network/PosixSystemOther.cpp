#include <errno.h>
#include <net/if.h>
#include <sys/socket.h>

#include "Network/PosixSystem.h"

namespace BRIVO::posix {

int setReceiveBufferSize(int fd, const void* value, socklen_t length) {
    return ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, value, length) == 0 ? 0 : -1;
}

// No sendmmsg: one send per datagram.
size_t sendBatch(int fd, const OutgoingDatagram* datagrams, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        sockaddr_in to{};
        iovec part{};
        alignas(cmsghdr) char control[SOURCE_CONTROL];
        const msghdr message = outgoingMessage(datagrams[i], to, part, control);
        ssize_t r;
        while ((r = ::sendmsg(fd, &message, 0)) < 0 && errno == EINTR) {
        }
        if (r < 0) return i;
    }
    return count;
}

// No recvmmsg: one receive per datagram.
long receiveBatch(Handle h, DatagramSlot* slots, size_t count, long (*oneByOne)(Handle, DatagramSlot*, size_t)) {
    return oneByOne(h, slots, count);
}

// Only the flags tell here.
InterfaceKind interfaceKind(const char*, unsigned flags) {
    if (flags & IFF_LOOPBACK) return InterfaceKind::LOOPBACK;
    if (flags & IFF_POINTOPOINT) return InterfaceKind::POINT_TO_POINT;
    return InterfaceKind::UNKNOWN;
}

// Interfaces are read again by whoever wants to know; the neighbour table
// is not asked.
int openInterfaceWatch() { return -1; }
int takeInterfaceEvents(int) { return -1; }
NeighbourState neighbourState(uint32_t, const uint8_t (&)[4]) { return NeighbourState::UNKNOWN; }

int reportUnreachable(int, const void*, socklen_t) {
    errno = ENOPROTOOPT;
    return -1;
}

long takeUnreachable(int, uint8_t (&)[4]) { return NOTHING_WAITING; }

}  // namespace BRIVO::posix
