#include <windows.h>

#include "app/base/Utf8.h"
#include "app/system/HostName.h"

namespace webfind {

namespace {

std::string computerName(COMPUTER_NAME_FORMAT format) {
    wchar_t name[256] = {};
    DWORD size = sizeof name / sizeof name[0];
    if (!GetComputerNameExW(format, name, &size)) return "";
    return utf8FromWide(std::wstring(name, size));
}

}  // namespace

// The DNS name with the domain the system joined or was given, where it
// has one.
std::string hostName() {
    const std::string qualified = computerName(ComputerNameDnsFullyQualified);
    return qualified.empty() ? computerName(ComputerNameDnsHostname) : qualified;
}

}  // namespace webfind
