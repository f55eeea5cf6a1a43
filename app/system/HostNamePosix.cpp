#include <unistd.h>

#include "app/system/Files.h"
#include "app/system/HostName.h"

namespace webfind {

std::string hostName() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0) return "";
    const std::string bare = name;
    if (bare.find('.') != std::string::npos) return bare;
    const std::string qualified = qualifiedIn(fileText("/etc/hosts"), bare);
    return qualified.empty() ? bare : qualified;
}

}  // namespace webfind
