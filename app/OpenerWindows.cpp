#include <windows.h>
#include <shellapi.h>

#include <string>

#include "Opener.h"

bool desktopAvailable(std::string&) { return true; }

bool openUrl(const std::string& url, std::string& why) {
    // The bytes are text in the system's default narrow code page.
    int length = MultiByteToWideChar(CP_ACP, 0, url.data(), static_cast<int>(url.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(length), L'\0');
    if (length > 0) MultiByteToWideChar(CP_ACP, 0, url.data(), static_cast<int>(url.size()), &wide[0], length);
    // The shell's open verb hands the URL to the handler registered for its
    // scheme and returns without waiting for it.
    HINSTANCE result = ShellExecuteW(nullptr, L"open", wide.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    INT_PTR code = reinterpret_cast<INT_PTR>(result);
    if (code > 32) return true;
    why = "the shell could not open it (error " + std::to_string(static_cast<long long>(code)) + ")";
    return false;
}
