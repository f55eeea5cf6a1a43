#pragma once

#include <cstdint>

#include "Network/IPAddress.h"
#include "Network/SocketV4.h"

namespace BRIVO {

// A datagram endpoint. The two fields are part of the library's interface:
// zero after construction, and read by no operation (sendTo and receiveFrom
// take their addresses as arguments).
class UDPV4 : public SocketV4 {
public:
    // Throws Err when the socket layer cannot be started.
    UDPV4();

    IPAddress endpointAddress;
    uint16_t endpointPort;
};

}  // namespace BRIVO
