// IPAddress::comp is a total order: reflexive, antisymmetric and transitive,
// and agrees with the bytes read left to right.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "Network/IPAddress.h"

namespace {
BRIVO::IPAddress fromBytes(const uint8_t* p) {
    BRIVO::IPAddress a;
    std::memcpy(a.address, p, 16);
    std::memcpy(a.port, p + 16, 2);
    return a;
}
int sign(int v) { return (v > 0) - (v < 0); }
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 54) return 0;
    BRIVO::IPAddress a = fromBytes(data), b = fromBytes(data + 18), c = fromBytes(data + 36);
    if (a.comp(a) != BRIVO::EQUAL) std::abort();
    if (a.comp(b) != -b.comp(a)) std::abort();
    if (a.comp(b) != sign(std::memcmp(data, data + 18, 18))) std::abort();
    if (a.comp(b) <= 0 && b.comp(c) <= 0 && a.comp(c) > 0) std::abort();
    if (a.comp(b) == BRIVO::EQUAL && b.comp(c) != a.comp(c)) std::abort();
    return 0;
}
