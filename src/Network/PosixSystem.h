#pragma once

#include <netinet/in.h>
#include <sys/socket.h>

#include <cstddef>
#include <cstring>

#include "Network/Platform.h"

// What differs between POSIX systems, behind one interface: CMake builds
// PosixSystemLinux.cpp on Linux and PosixSystemOther.cpp elsewhere.
namespace BRIVO::posix {

// The header of one recvmsg(): the peer's address into `peer`, the bytes
// into `part`, the ancillary data into `control`.
template <size_t N>
msghdr messageFor(sockaddr_in& peer, iovec& part, char (&control)[N]) {
    msghdr message{};
    message.msg_name = &peer;
    message.msg_namelen = sizeof peer;
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = N;
    return message;
}

// The ancillary data that names a datagram's source address.
constexpr size_t SOURCE_CONTROL = CMSG_SPACE(sizeof(in_pktinfo));

// The header of one sendmsg() of `d`: its destination in `to`, its bytes in
// `part`, its source address (unless 0.0.0.0) as IP_PKTINFO in `control`.
inline msghdr outgoingMessage(const OutgoingDatagram& d, sockaddr_in& to, iovec& part,
                              char (&control)[SOURCE_CONTROL]) {
    to = sockaddr_in{};
    to.sin_family = AF_INET;
    std::memcpy(&to.sin_port, d.to.port, 2);
    std::memcpy(&to.sin_addr, d.to.address, 4);
    part = iovec{const_cast<uint8_t*>(d.data), d.length};
    msghdr message = messageFor(to, part, control);
    static constexpr uint8_t SYSTEM_CHOOSES[4] = {0, 0, 0, 0};
    if (std::memcmp(d.source, SYSTEM_CHOOSES, 4) == 0) {
        message.msg_control = nullptr;
        message.msg_controllen = 0;
        return message;
    }
    std::memset(control, 0, sizeof control);
    cmsghdr* c = CMSG_FIRSTHDR(&message);
    c->cmsg_level = IPPROTO_IP;
    c->cmsg_type = IP_PKTINFO;
    c->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
    in_pktinfo info{};
    std::memcpy(&info.ipi_spec_dst, d.source, 4);
    std::memcpy(CMSG_DATA(c), &info, sizeof info);
    return message;
}

// Sends the datagrams in order: in batches where the system has them
// (sendmmsg), else one by one. As Platform::sendBatch answers, with errno
// saying why the one after the last sent was refused.
size_t sendBatch(int fd, const OutgoingDatagram* datagrams, size_t count);

// Sets the receive queue size; a privileged caller on Linux may go past the
// system's cap (net.core.rmem_max). 0 on success, -1 on failure.
int setReceiveBufferSize(int fd, const void* value, socklen_t length);

// Takes up to `count` waiting datagrams without waiting: in one system call
// where there is one (recvmmsg), else through `oneByOne`. As
// Platform::receiveWaiting answers.
long receiveBatch(Handle h, DatagramSlot* slots, size_t count,
                  long (*oneByOne)(Handle h, DatagramSlot* slots, size_t count));

// The kind of the interface `name`, whose flags (IFF_*) are `flags`.
InterfaceKind interfaceKind(const char* name, unsigned flags);

// A descriptor that becomes readable when interfaces or their IPv4
// addresses change; -1 where the system has none. As Platform's entries.
int openInterfaceWatch();
int takeInterfaceEvents(int fd);

// IP_RECVERR where the system has it, and Platform::takeUnreachable.
int reportUnreachable(int fd, const void* value, socklen_t length);
long takeUnreachable(int fd, uint8_t (&to)[4]);

// As Platform::neighbourState.
NeighbourState neighbourState(uint32_t index, const uint8_t (&address)[4]);

}  // namespace BRIVO::posix
