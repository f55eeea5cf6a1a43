#include <errno.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <climits>
#include <cstring>

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

}  // namespace BRIVO::posix
