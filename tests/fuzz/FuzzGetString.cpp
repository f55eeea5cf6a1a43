// Buffer::get_string on any range: the bytes up to the first 0, never past the end.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "Network/Buffer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    BRIVO::Buffer buffer(data + 2, data + size);
    const size_t n = buffer.size();
    const size_t from = data[0] % (n + 1);
    const size_t to = from + data[1] % (n - from + 1);
    std::string s = buffer.get_string(buffer.begin() + static_cast<std::ptrdiff_t>(from),
                                      buffer.begin() + static_cast<std::ptrdiff_t>(to));
    auto zero = std::find(buffer.begin() + static_cast<std::ptrdiff_t>(from),
                          buffer.begin() + static_cast<std::ptrdiff_t>(to), 0);
    const size_t expected = static_cast<size_t>(zero - buffer.begin()) - from;
    if (s.size() != expected || s.size() > to - from) std::abort();
    if (s.find('\0') != std::string::npos) std::abort();
    if (!std::equal(s.begin(), s.end(), buffer.begin() + static_cast<std::ptrdiff_t>(from),
                    [](char a, uint8_t b) { return static_cast<uint8_t>(a) == b; }))
        std::abort();
    return 0;
}
