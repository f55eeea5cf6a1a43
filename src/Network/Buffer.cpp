#include "Network/Buffer.h"

#include <algorithm>

namespace BRIVO {

std::string Buffer::get_string(const_iterator from, const_iterator to) const {
    // Stopping at the first 0 or at `to`, whichever comes first, gives the same
    // bytes as copying the range with a terminator appended, without the copy.
    const_iterator end = std::find(from, to, uint8_t{0});
    return std::string(from, end);
}

}  // namespace BRIVO
