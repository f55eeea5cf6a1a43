#include "IPAddress.h"

#include <cstring>

namespace BRIVO {

IPAddress::IPAddress() : address{}, port{} {}

IPAddress::IPAddress(uint8_t a, uint8_t b, uint8_t c, uint8_t d, uint16_t portNumber)
    : address{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, a, b, c, d},
      port{static_cast<uint8_t>(portNumber >> 8), static_cast<uint8_t>(portNumber & 0xFF)} {}

namespace {
COMP_CODE compareBytes(const uint8_t* mine, const uint8_t* theirs, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        if (mine[i] != theirs[i]) return mine[i] > theirs[i] ? GREATER : LESS;
    }
    return EQUAL;
}
}  // namespace

COMP_CODE IPAddress::comp(IPAddress other) const {
    // Byte by byte in network order: dotted quads sort as read left to right,
    // and equal addresses sort by port number.
    COMP_CODE result = compareBytes(address, other.address, sizeof address);
    if (result != EQUAL) return result;
    return compareBytes(port, other.port, sizeof port);
}

}  // namespace BRIVO
