#pragma once

#include <string>

namespace webfind {

// The whole content of a (small) file; empty when it cannot be read.
std::string fileText(const char* path);

}  // namespace webfind
