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

}  // namespace webfind
