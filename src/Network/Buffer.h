#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace BRIVO {

// A datagram's bytes: the standard byte vector with one helper added.
class Buffer : public std::vector<uint8_t> {
public:
    using std::vector<uint8_t>::vector;

    // The NUL-terminated string that starts at `from`, never reaching past `to`
    // (from <= to, both inside this buffer). Holds no 0 byte.
    std::string get_string(const_iterator from, const_iterator to) const;
};

}  // namespace BRIVO
