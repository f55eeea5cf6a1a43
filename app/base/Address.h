#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace webfind {

// Four bytes in network order as one number in host order.
inline uint32_t hostOrder(const uint8_t* bytes) {
    return uint32_t(bytes[0]) << 24 | uint32_t(bytes[1]) << 16 | uint32_t(bytes[2]) << 8 | bytes[3];
}

// A device's IPv4 address: four bytes in network order. Devices are listed in
// the order of these bytes taken left to right (10.0.0.9 before 10.0.0.10
// before 192.168.1.2), the order of the socket library's addresses.
struct Address {
    std::array<uint8_t, 4> bytes{};

    // The address whose number() is `number`.
    static Address of(uint32_t number) {
        return Address{{uint8_t(number >> 24), uint8_t(number >> 16), uint8_t(number >> 8), uint8_t(number)}};
    }

    // The address of four bytes in network order (a socket's, an interface's).
    static Address from(const uint8_t* fourBytes) {
        return Address{{fourBytes[0], fourBytes[1], fourBytes[2], fourBytes[3]}};
    }

    // Dotted-quad text: "192.168.1.20".
    std::string text() const;

    // The bytes as one number: the same order, without a call to memcmp for
    // each of the many comparisons a table of devices makes.
    uint32_t number() const { return hostOrder(bytes.data()); }
    bool operator<(const Address& other) const { return number() < other.number(); }
    bool operator==(const Address& other) const { return bytes == other.bytes; }
    bool operator!=(const Address& other) const { return bytes != other.bytes; }
};

// Dotted-quad text of four IPv4 address bytes in network order: the one
// formatter of addresses for people.
std::string dottedQuad(const uint8_t* fourBytes);

// Reads dotted-quad text: four numbers up to 255 and nothing after them.
// False, with `address` unspecified, for anything else.
bool parseDottedQuad(const std::string& text, Address& address);

// Reads a range "address/prefix" (10.2.0.0/24): its network address (the
// address with the host bits cleared) and prefix length 0-32. False for
// anything else.
bool parseRange(const std::string& text, Address& network, int& prefix);

// The mask of a prefix length, host order.
inline uint32_t maskOf(int prefix) { return prefix <= 0 ? 0 : ~uint32_t(0) << (32 - prefix); }

}  // namespace webfind
