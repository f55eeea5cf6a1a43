#include "Unescape.h"

#include <cctype>

std::string unescapeFromTerminal(const std::string& line) {
    std::string bytes;
    bytes.reserve(line.size());
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '\\' && i + 3 < line.size() && line[i + 1] == 'x' &&
            std::isxdigit(static_cast<unsigned char>(line[i + 2])) &&
            std::isxdigit(static_cast<unsigned char>(line[i + 3]))) {
            bytes += static_cast<char>(std::stoi(line.substr(i + 2, 2), nullptr, 16));
            i += 3;
        } else {
            bytes += line[i];
        }
    }
    return bytes;
}
