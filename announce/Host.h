#pragma once

#include <string>

namespace webfind::announce {

// This host's name, as the system gives it ("nas"); empty when it gives
// none. HostPosix.cpp or HostWindows.cpp, as CMake chooses.
std::string hostName();

}  // namespace webfind::announce
