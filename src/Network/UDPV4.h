#pragma once

#include <cstdint>

#include "Network/IPAddress.h"
#include "Network/SocketV4.h"

namespace BRIVO {

// A datagram endpoint. The two fields are zero after construction and are read
// by no operation.
class UDPV4 : public SocketV4 {
public:
    // Throws Err when the socket layer cannot be started.
    UDPV4();

    IPAddress endpointAddress;
    uint16_t endpointPort;
};

}  // namespace BRIVO
