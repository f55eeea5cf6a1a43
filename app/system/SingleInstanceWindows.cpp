#include <windows.h>

#include "app/base/Utf8.h"
#include "app/system/SingleInstance.h"

namespace webfind {

SingleInstance::~SingleInstance() {
    if (handle != -1) CloseHandle(reinterpret_cast<HANDLE>(handle));
}

// A mutex of the whole machine where this process may make one (a
// service may), else of the session.
bool SingleInstance::take(const std::string& name, std::string& holder) {
    holder.clear();
    for (const char* scope : {"Global\\", "Local\\"}) {
        const std::wstring full = wideFromUtf8(scope + name);
        HANDLE mutex = CreateMutexW(nullptr, FALSE, full.c_str());
        if (!mutex) continue;
        if (GetLastError() == ERROR_ALREADY_EXISTS) {
            CloseHandle(mutex);
            return false;
        }
        handle = reinterpret_cast<intptr_t>(mutex);
        return true;
    }
    return true;
}

}  // namespace webfind
