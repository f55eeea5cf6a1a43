#pragma once

#include <cstdint>

#include "Network/IPAddress.h"
#include "Network/Platform.h"

namespace BRIVO {

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
    int32_t socketType;  // set by SocketV4::open; unset until then
    int32_t maxDatagramSize;
};

}  // namespace BRIVO
