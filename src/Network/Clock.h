#pragma once

#include <cstdint>

namespace BRIVO {

// A duration in microseconds; used as the wait limit of a timed receive.
struct Clock {
    uint32_t microseconds = 0;

    Clock() = default;
    explicit Clock(uint32_t us) : microseconds(us) {}
};

}  // namespace BRIVO
