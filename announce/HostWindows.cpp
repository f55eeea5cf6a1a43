#include <windows.h>

#include "announce/Host.h"
#include "app/base/Utf8.h"

namespace webfind::announce {

std::string hostName() {
    wchar_t name[256] = {};
    DWORD size = sizeof name / sizeof name[0];
    if (!GetComputerNameExW(ComputerNameDnsHostname, name, &size)) return "";
    return utf8FromWide(std::wstring(name, size));
}

}  // namespace webfind::announce
