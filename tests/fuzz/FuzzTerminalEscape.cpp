// A device line is safe for any terminal and reads back to the exact bytes.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "Unescape.h"
#include "app/base/Text.h"

using namespace webfind;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    std::string line = escapeForTerminal(text) + "\n";
    for (size_t i = 0; i + 1 < line.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(line[i]);
        if (c < 0x20 || c == 0x7F) std::abort();
    }
    if (unescapeFromTerminal(line.substr(0, line.size() - 1)) != text) std::abort();
    return 0;
}
