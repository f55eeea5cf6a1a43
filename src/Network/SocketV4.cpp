#include "Network/SocketV4.h"

#include <cstring>
#include <memory>
#include <new>

#include "Network/Err.h"

namespace BRIVO {

namespace {

constexpr size_t RECEIVE_LIMIT = MAX_DATAGRAM_SIZE;
const uint8_t LOOPBACK[4] = {127, 0, 0, 1};

// The assertion line of a failed interface-table query. File, line and code
// are fixed values that users and scripts recognise from the original
// library, not positions in this file: keep them as they are.
const char* const ERR_FILE = "src\\Network\\SocketV4";
constexpr int32_t ERR_LINE_INTERFACE_TABLE = 171;
constexpr int32_t ERR_CODE_INTERFACE_TABLE = 6;

}  // namespace

uint32_t SocketV4::chooseInterfaceAddress() {
    const Platform& os = platform();
    uint32_t loopback;
    static_assert(sizeof loopback == sizeof LOOPBACK, "an IPv4 address is 4 bytes");
    std::memcpy(&loopback, LOOPBACK, sizeof loopback);

    uint32_t size = 0;
    if (os.interfaceTable(nullptr, &size) != TABLE_INSUFFICIENT_BUFFER)
        throw Err(ERR_FILE, ERR_LINE_INTERFACE_TABLE, ERR_CODE_INTERFACE_TABLE);

    // Words, not bytes, so that the rows are aligned for their 32-bit fields.
    std::unique_ptr<uint32_t[]> block(new (std::nothrow) uint32_t[(size + 3) / 4 + 1]);
    if (!block) return loopback;
    auto* table = reinterpret_cast<InterfaceTable*>(block.get());
    if (os.interfaceTable(table, &size) == TABLE_NO_ERROR && table->count >= 1) return table->rows[0].address;
    return loopback;
}

bool SocketV4::open(Type requested) {
    const Platform& os = platform();
    switch (requested) {
    case TCP:
        close();
        socketType = TCP;
        socketHandle = os.socket(SocketStyle::STREAM);
        return socketHandle != INVALID_HANDLE;

    case UDP_BROADCAST: {
        close();
        socketType = UDP_BROADCAST;
        socketHandle = os.socket(SocketStyle::DATAGRAM);
        if (socketHandle == INVALID_HANDLE) return false;
        int32_t on = 1;
        if (os.setOption(socketHandle, SocketOption::BROADCAST, &on, sizeof on) < 0) {
            close();
            return false;
        }
        // Failing to force blocking mode is harmless: every receive waits for
        // readability first, so it never blocks either way.
        os.setNonBlocking(socketHandle, 0);
        return true;
    }

    case UDP_MULTICAST: {
        // Chosen before anything changes, so that an Err leaves the old socket.
        uint32_t interfaceAddress = chooseInterfaceAddress();
        close();
        socketType = UDP_MULTICAST;
        socketHandle = os.socket(SocketStyle::DATAGRAM);
        if (socketHandle == INVALID_HANDLE) return false;
        if (os.setOption(socketHandle, SocketOption::MULTICAST_INTERFACE, &interfaceAddress, sizeof interfaceAddress) <
            0) {
            close();
            return false;
        }
        return true;
    }
    }
    return false;
}

bool SocketV4::sendTo(const Buffer& payload, IPAddress destination, uint16_t destinationPort) {
    AddressV4 to{{static_cast<uint8_t>(destinationPort >> 8), static_cast<uint8_t>(destinationPort & 0xFF)},
                 {destination.address[12], destination.address[13], destination.address[14], destination.address[15]}};
    long sent = platform().sendTo(socketHandle, payload.data(), payload.size(), to);
    if (sent == -1) return false;
    return static_cast<size_t>(sent) == payload.size();
}

namespace {

// Whole milliseconds only: the part below a millisecond is dropped.
WaitTime waitLimit(const Clock& waitTime) {
    uint32_t t = waitTime.microseconds;
    return WaitTime{t / 1000000u, ((t / 1000u) % 1000u) * 1000u};
}

}  // namespace

template <typename Take>
WAIT_CODE SocketV4::receiveOne(Buffer& payload, IPAddress& source, uint16_t& sourcePort, Clock& waitTime,
                               bool tellDiscarded, Take take) {
    const Platform& os = platform();
    int ready = os.waitReadable(socketHandle, waitLimit(waitTime));
    // A failed wait is a failure of the socket, never a reason to go on to a
    // receive that could block without limit.
    if (ready < 0) return FAIL;
    if (ready == 0) return TIMEOUT;

    payload.resize(RECEIVE_LIMIT);
    AddressV4 from{{0, 0}, {0, 0, 0, 0}};
    long n = take(payload.data(), from);
    if (n == NOTHING_WAITING) return TIMEOUT;
    if (n < 0) return FAIL;
    // Any host can send an empty or an oversized datagram; it is consumed and
    // reported apart from a broken socket so the caller can ignore it.
    const bool deliverable = n > 0 && static_cast<size_t>(n) <= RECEIVE_LIMIT;
    if (!deliverable && !tellDiscarded) return DISCARDED;

    source.setMappedV4(from.address);
    sourcePort = hostPort(from);
    if (!deliverable) return DISCARDED;
    payload.resize(static_cast<size_t>(n));
    return RECEIVED;
}

WAIT_CODE SocketV4::receiveFrom(Buffer& payload, IPAddress& source, uint16_t& sourcePort, Clock& waitTime) {
    return receiveOne(payload, source, sourcePort, waitTime, false, [this](uint8_t* data, AddressV4& from) {
        return platform().receiveFrom(socketHandle, data, RECEIVE_LIMIT, from);
    });
}

WAIT_CODE SocketV4::receiveFrom(Buffer& payload, IPAddress& source, uint16_t& sourcePort, Arrival& arrival,
                                Clock& waitTime) {
    arrival = Arrival{};
    Arrival where{};
    const WAIT_CODE code = receiveOne(payload, source, sourcePort, waitTime, true, [&](uint8_t* data, AddressV4& from) {
        return platform().receiveArrival(socketHandle, data, RECEIVE_LIMIT, from, where);
    });
    if (code == RECEIVED || code == DISCARDED) arrival = where;
    return code;
}

bool SocketV4::connectV4(const IPAddress& address, uint16_t port, const Clock& waitTime) {
    const AddressV4 to{{static_cast<uint8_t>(port >> 8), static_cast<uint8_t>(port & 0xFF)},
                       {address.address[12], address.address[13], address.address[14], address.address[15]}};
    return platform().connectTo(socketHandle, to, waitLimit(waitTime)) == 0;
}

bool SocketV4::reportReceiveTime() {
    int32_t on = 1;
    return platform().setOption(socketHandle, SocketOption::RECEIVE_TIME, &on, sizeof on) >= 0;
}

bool SocketV4::neverBlock() { return platform().setNonBlocking(socketHandle, 1) == 0; }

bool SocketV4::receiveWaiting(DatagramBatch& batch) {
    long n = platform().receiveWaiting(socketHandle, batch.slots.data(), batch.slots.size());
    batch.filled = n > 0 ? static_cast<size_t>(n) : 0;
    return n >= 0;
}

WAIT_CODE SocketV4::receiveWaiting(DatagramBatch& batch, Clock& waitTime) {
    batch.filled = 0;
    int ready = platform().waitReadable(socketHandle, waitLimit(waitTime));
    // As in receiveFrom: a failed wait never leads on to a receive.
    if (ready < 0) return FAIL;
    if (ready == 0) return TIMEOUT;
    return receiveWaiting(batch) ? RECEIVED : FAIL;
}

bool SocketV4::setReceiveBuffer(int32_t bytes) {
    return platform().setOption(socketHandle, SocketOption::RECEIVE_BUFFER, &bytes, sizeof bytes) >= 0;
}

bool SocketV4::setMulticastInterface(const uint8_t (&address)[4]) {
    return platform().setOption(socketHandle, SocketOption::MULTICAST_INTERFACE, address, 4) >= 0;
}

bool SocketV4::shareAddress() {
    int32_t on = 1;
    return platform().setOption(socketHandle, SocketOption::REUSE_ADDRESS, &on, sizeof on) >= 0;
}

bool SocketV4::membership(SocketOption option, const IPAddress& group, const uint8_t (&interfaceAddress)[4]) {
    // As ip_mreq: the group, then the interface, both in network order.
    const uint8_t request[8] = {group.address[12],   group.address[13],   group.address[14],   group.address[15],
                                interfaceAddress[0], interfaceAddress[1], interfaceAddress[2], interfaceAddress[3]};
    return platform().setOption(socketHandle, option, request, sizeof request) >= 0;
}

bool SocketV4::joinGroup(const IPAddress& group, const uint8_t (&interfaceAddress)[4]) {
    return membership(SocketOption::ADD_MEMBERSHIP, group, interfaceAddress);
}

bool SocketV4::leaveGroup(const IPAddress& group, const uint8_t (&interfaceAddress)[4]) {
    return membership(SocketOption::DROP_MEMBERSHIP, group, interfaceAddress);
}

bool SocketV4::joinGroupOn(const IPAddress& group, uint32_t interfaceIndex) {
    const GroupOnInterface request{{group.address[12], group.address[13], group.address[14], group.address[15]},
                                   interfaceIndex};
    return platform().setOption(socketHandle, SocketOption::JOIN_ON, &request, sizeof request) >= 0;
}

bool SocketV4::leaveGroupOn(const IPAddress& group, uint32_t interfaceIndex) {
    const GroupOnInterface request{{group.address[12], group.address[13], group.address[14], group.address[15]},
                                   interfaceIndex};
    return platform().setOption(socketHandle, SocketOption::LEAVE_ON, &request, sizeof request) >= 0;
}

uint16_t SocketV4::localPort() const {
    AddressV4 local{{0, 0}, {0, 0, 0, 0}};
    return platform().localAddress(socketHandle, local) == 0 ? hostPort(local) : 0;
}

bool SocketV4::reportArrival() {
    int32_t on = 1;
    return platform().setOption(socketHandle, SocketOption::PACKET_INFO, &on, sizeof on) >= 0;
}

}  // namespace BRIVO
