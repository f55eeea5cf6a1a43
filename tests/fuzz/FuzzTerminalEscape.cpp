// A device line is safe for any terminal and reads back to the exact bytes:
// no C0 or C1 control, no DEL and no bidi control is left in it, as a byte
// or as a UTF-8 character.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "Unescape.h"
#include "app/base/Text.h"
#include "app/base/Utf8.h"

using namespace webfind;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    std::string line = escapeForTerminal(text) + "\n";
    const auto* bytes = reinterpret_cast<const unsigned char*>(line.data());
    for (size_t i = 0; i + 1 < line.size();) {
        char32_t point = bytes[i];
        size_t length = bytes[i] < 0x80 ? 1 : decodeUtf8(bytes + i, line.size() - 1 - i, point);
        if (length == 0) length = 1;  // a byte that is no UTF-8: its value is what a terminal sees
        if (terminalControl(point)) std::abort();
        i += length;
    }
    if (unescapeFromTerminal(line.substr(0, line.size() - 1)) != text) std::abort();
    return 0;
}
