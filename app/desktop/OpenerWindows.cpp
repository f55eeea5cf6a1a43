#include <windows.h>
#include <shellapi.h>

#include <string>

#include "app/desktop/Opener.h"
#include "app/base/Utf8.h"

namespace webfind {

namespace {

// UTF-8 URLs (the common case for names outside ASCII) are read as UTF-8;
// other bytes as text in the system's default narrow code page.
std::wstring wideUrl(const std::string& url) {
    if (validUtf8(url)) return wideFromUtf8(url);
    int length = MultiByteToWideChar(CP_ACP, 0, url.data(), static_cast<int>(url.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(length > 0 ? length : 0), L'\0');
    if (length > 0) MultiByteToWideChar(CP_ACP, 0, url.data(), static_cast<int>(url.size()), &wide[0], length);
    return wide;
}

}  // namespace

bool desktopAvailable(std::string&) { return true; }

// The shell hands URLs over itself; nothing of ours is left to watch.
void settleOpeners(std::ostream&) {}

bool openUrl(const std::string& url, std::string& why) {
    // The shell's open verb hands the URL to the handler registered for its
    // scheme and returns without waiting for it.
    HINSTANCE result = ShellExecuteW(nullptr, L"open", wideUrl(url).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    INT_PTR code = reinterpret_cast<INT_PTR>(result);
    if (code > 32) return true;
    why = "the shell could not open it (error " + std::to_string(static_cast<long long>(code)) + ")";
    return false;
}

}  // namespace webfind
