#include "app/system/Files.h"

#include <fstream>
#include <sstream>

namespace webfind {

std::string fileText(const char* path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace webfind
