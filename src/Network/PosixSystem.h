#pragma once

#include <netinet/in.h>
#include <sys/socket.h>

#include <cstddef>

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
