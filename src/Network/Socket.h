#pragma once

#include <cstdint>

#include "Network/IPAddress.h"
#include "Network/Platform.h"

namespace BRIVO {

// The largest datagram, in bytes, that a receive delivers; longer ones are
// reported as not deliverable. Answers from devices fit in it.
constexpr int32_t MAX_DATAGRAM_SIZE = 1500;

// Socket kinds as `socketType` records them. open() (SocketV4) creates the
// first three; bindV4 also takes 4 as a broadcast socket and 5 as a multicast
// one. Those two are part of the library's interface (a class built on
// Socket may record them) although no operation here stores them.
enum SocketKind : int32_t {
    KIND_TCP = 0,
    KIND_UDP_BROADCAST = 1,
    KIND_UDP_MULTICAST = 2,
    KIND_BROADCAST_TOO = 4,
    KIND_MULTICAST_TOO = 5,
};

// True once the socket layer has been started in this process; never cleared.
// Tests reset it to start from a fresh process's state.
extern bool socketLayerStarted;

// Owns one platform socket handle, or none. The first construction in the
// process starts the socket layer; the destructor closes the handle.
class Socket {
public:
    // Throws Err when the socket layer cannot be started.
    Socket();
    ~Socket();
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    // Shuts the handle down both ways and closes it; no-op without a handle.
    void close();

    // Binds to the port in bytes 16-17 of `local` on every local IPv4 address,
    // then applies the kind's option: broadcast permission (kinds 1 and 4) or
    // membership of the group in bytes 12-15 (kinds 2 and 5). False on failure;
    // the handle stays open either way.
    bool bindV4(IPAddress local);

    Handle handle() const { return socketHandle; }
    int32_t type() const { return socketType; }

protected:
    Handle socketHandle;
    int32_t socketType;  // a SocketKind, set by SocketV4::open; -1 until then
    // MAX_DATAGRAM_SIZE, set by the constructor. Part of the library's
    // interface; the receive itself works with the constant.
    int32_t maxDatagramSize;
};

}  // namespace BRIVO
