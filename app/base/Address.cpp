#include "app/base/Address.h"

namespace webfind {

std::string dottedQuad(const uint8_t* a) {
    return std::to_string(a[0]) + "." + std::to_string(a[1]) + "." + std::to_string(a[2]) + "." + std::to_string(a[3]);
}

std::string Address::text() const { return dottedQuad(bytes.data()); }

}  // namespace webfind
