#pragma once

#include <cstdint>

namespace BRIVO {

// A failure of the environment that callers are not expected to handle.
// Constructing one writes the assertion line to standard error at once; the
// raising site then throws the record by value.
struct Err {
    const char* file;  // library-relative path with backslashes, static lifetime
    int32_t line;
    int32_t code;
    int32_t data;  // always 0 in this system

    Err(const char* file, int32_t line, int32_t code);
};

}  // namespace BRIVO
