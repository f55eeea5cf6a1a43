#include <unistd.h>

#include "announce/Host.h"

namespace webfind::announce {

std::string hostName() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0) return "";
    return name;
}

}  // namespace webfind::announce
