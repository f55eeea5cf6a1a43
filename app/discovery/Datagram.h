#pragma once

#include <cstddef>
#include <cstdint>

#include "app/base/Address.h"

namespace webfind {

// One datagram as a session received it, wherever its bytes are held.
struct Datagram {
    const uint8_t* data;
    size_t size;
    Address source;
    uint16_t sourcePort;
    bool deliverable;  // false: empty or too long, and its bytes are not there
};

// Where a session hands every datagram it receives.
class DatagramSink {
public:
    virtual ~DatagramSink() = default;
    // False when listening should stop at once.
    virtual bool take(const Datagram& datagram) = 0;
};

}  // namespace webfind
