#pragma once

#include <cstdint>

namespace BRIVO {

enum COMP_CODE : int32_t { LESS = -1, EQUAL = 0, GREATER = 1 };

// An endpoint: 16 address bytes in network order (IPv4 held as ::ffff:a.b.c.d)
// and a port held high byte first.
class IPAddress {
public:
    // The unspecified address :: with port 0.
    IPAddress();
    // The IPv4-mapped address ::ffff:a.b.c.d with the given port.
    IPAddress(uint8_t a, uint8_t b, uint8_t c, uint8_t d, uint16_t port);

    // Sets bytes 0-15 to ::ffff:a.b.c.d from four bytes in network order; the
    // port field is left as it is.
    void setMappedV4(const uint8_t* fourBytes);

    // Three-way comparison of the 18 content bytes taken as unsigned values.
    COMP_CODE comp(IPAddress other) const;
    bool operator<(const IPAddress& other) const { return comp(other) == LESS; }
    bool operator==(const IPAddress& other) const { return comp(other) == EQUAL; }
    bool operator!=(const IPAddress& other) const { return comp(other) != EQUAL; }

    alignas(4) uint8_t address[16];
    uint8_t port[2];
};

}  // namespace BRIVO
