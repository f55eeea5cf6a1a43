#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "Network/IPAddress.h"
#include "Network/Platform.h"

namespace BRIVO {

// Room for several datagrams of up to MAX_DATAGRAM_SIZE bytes each, filled by one
// SocketV4::receiveWaiting call. The storage is allocated once.
class DatagramBatch {
public:
    explicit DatagramBatch(size_t slots);

    // How many datagrams the last receive delivered.
    size_t count() const { return filled; }
    // False for an empty datagram or one longer than MAX_DATAGRAM_SIZE.
    bool deliverable(size_t i) const;
    const uint8_t* data(size_t i) const { return slots[i].data; }
    size_t length(size_t i) const { return static_cast<size_t>(slots[i].length); }
    // Writes the IPv4-mapped source into bytes 0-15 of `source`, leaving its
    // port field as it was, as SocketV4::receiveFrom does.
    void source(size_t i, IPAddress& source) const;
    // Source port in host order.
    uint16_t sourcePort(size_t i) const;

private:
    friend class SocketV4;
    std::vector<uint8_t> storage;
    std::vector<DatagramSlot> slots;
    size_t filled = 0;
};

}  // namespace BRIVO
