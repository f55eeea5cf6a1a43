#include "Network/Err.h"

#include <iostream>

namespace BRIVO {

Err::Err(const char* file_, int32_t line_, int32_t code_) : file(file_), line(line_), code(code_), data(0) {
    // The leading flushed newline keeps the line apart from any half-written
    // output; the trailing flush makes it visible even if nobody catches us.
    std::cerr << '\n' << std::flush;
    std::cerr << "BRIVO ASSERT[" << file << "]"
              << "Line:" << line << "[code:" << code << " Data:" << data << "]" << '\n'
              << std::flush;
}

}  // namespace BRIVO
