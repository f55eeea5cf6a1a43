#include "Network/Socket.h"

#include <cstring>

#include "Network/Err.h"

namespace BRIVO {

bool socketLayerStarted = false;

namespace {

// The assertion lines of a failed start-up. The file and the line numbers
// are fixed values that users and scripts recognise from the original
// library, not positions in this file: keep them as they are.
const char* const ERR_FILE = "src\\Network\\Socket";
constexpr int32_t ERR_LINE_EXIT_HANDLER = 65;  // registering the cleanup failed
constexpr int32_t ERR_LINE_STARTUP = 68;       // the start-up call failed
constexpr int32_t ERR_CODE = 0;

}  // namespace

// The kind is given a definite "unset" value so that reading it early is never
// undefined; no operation reads it before open() stores the real kind.
Socket::Socket() : socketHandle(INVALID_HANDLE), socketType(-1), maxDatagramSize(MAX_DATAGRAM_SIZE) {
    if (socketLayerStarted) return;
    const Platform& os = platform();
    int started = os.startup();
    // Registered whatever the start-up said, so each attempt pairs with one
    // cleanup; on POSIX both are no-ops but the order and checks stand.
    int registered = os.registerAtExit(os.cleanup);
    if (registered != 0) throw Err(ERR_FILE, ERR_LINE_EXIT_HANDLER, ERR_CODE);
    if (started != 0) throw Err(ERR_FILE, ERR_LINE_STARTUP, ERR_CODE);
    socketLayerStarted = true;
}

Socket::~Socket() { close(); }

void Socket::close() {
    if (socketHandle == INVALID_HANDLE) return;
    const Platform& os = platform();
    os.shutdown(socketHandle);
    os.close(socketHandle);
    socketHandle = INVALID_HANDLE;
}

bool Socket::bindV4(IPAddress local) {
    const Platform& os = platform();
    // The port bytes are already in network order: copied, not swapped.
    AddressV4 any{{local.port[0], local.port[1]}, {0, 0, 0, 0}};
    if (os.bind(socketHandle, any) == -1) return false;

    if (socketType == KIND_UDP_BROADCAST || socketType == KIND_BROADCAST_TOO) {
        int32_t on = 1;
        if (os.setOption(socketHandle, SocketOption::BROADCAST, &on, sizeof on) < 0) return false;
    } else if (socketType == KIND_UDP_MULTICAST || socketType == KIND_MULTICAST_TOO) {
        uint8_t request[8] = {local.address[12], local.address[13], local.address[14], local.address[15], 0, 0, 0, 0};
        if (os.setOption(socketHandle, SocketOption::ADD_MEMBERSHIP, request, sizeof request) < 0) return false;
    }
    return true;
}

}  // namespace BRIVO
