#include "Network/IPAddress.h"

#include <cstring>

namespace BRIVO {

IPAddress::IPAddress() : address{}, port{} {}

IPAddress::IPAddress(uint8_t a, uint8_t b, uint8_t c, uint8_t d, uint16_t portNumber)
    : address{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, a, b, c, d},
      port{static_cast<uint8_t>(portNumber >> 8), static_cast<uint8_t>(portNumber & 0xFF)} {}

void IPAddress::setMappedV4(const uint8_t* fourBytes) {
    static const uint8_t mappedPrefix[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
    std::memcpy(address, mappedPrefix, sizeof mappedPrefix);
    std::memcpy(address + 12, fourBytes, 4);
}

namespace {
// Eight bytes read as one big-endian number: comparing two of them orders the
// bytes as unsigned values, left to right. Compilers make this one load and
// one byte swap.
uint64_t bigEndian64(const uint8_t* p) {
    uint64_t value = 0;
    for (int i = 0; i < 8; ++i) value = value << 8 | p[i];
    return value;
}
}  // namespace

COMP_CODE IPAddress::comp(IPAddress other) const {
    // The 18 content bytes in order: dotted quads sort as read, and equal
    // addresses sort by port number (held high byte first). Ordered maps call
    // this many times per datagram, hence whole words rather than bytes.
    uint64_t mine = bigEndian64(address), theirs = bigEndian64(other.address);
    if (mine == theirs) {
        mine = bigEndian64(address + 8);
        theirs = bigEndian64(other.address + 8);
    }
    if (mine == theirs) {
        mine = static_cast<uint64_t>(port[0]) << 8 | port[1];
        theirs = static_cast<uint64_t>(other.port[0]) << 8 | other.port[1];
    }
    return mine < theirs ? LESS : (mine > theirs ? GREATER : EQUAL);
}

}  // namespace BRIVO
