#include <windows.h>

#include <ostream>
#include <string>

#include "app/base/Utf8.h"
#include "app/desktop/PageFile.h"
#include "app/output/OutputBuffers.h"

namespace webfind {

namespace {

std::string utf8(const std::wstring& text) { return utf8FromUtf16(std::u16string(text.begin(), text.end())); }

std::string lastError(const std::string& what) { return what + " (error " + std::to_string(GetLastError()) + ")"; }

// This user's pages in the folder that are older than a day.
void removeOldPages(const std::wstring& folder) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"webfind-*.html").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    FILETIME nowTime;
    GetSystemTimeAsFileTime(&nowTime);
    ULARGE_INTEGER now{};
    now.LowPart = nowTime.dwLowDateTime;
    now.HighPart = nowTime.dwHighDateTime;
    const unsigned long long DAY = 24ULL * 3600 * 10000000;  // in 100 ns
    do {
        ULARGE_INTEGER written{};
        written.LowPart = found.ftLastWriteTime.dwLowDateTime;
        written.HighPart = found.ftLastWriteTime.dwHighDateTime;
        if (!(found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) &&
            now.QuadPart - written.QuadPart > DAY)
            DeleteFileW((folder + found.cFileName).c_str());
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

}  // namespace

bool savePage(const PageWriter& write, std::string& location, std::string& why) {
    wchar_t temp[MAX_PATH + 1];
    DWORD length = GetTempPathW(MAX_PATH + 1, temp);
    if (length == 0 || length > MAX_PATH) {
        why = lastError("no temp folder");
        return false;
    }
    // The user's temp folder is already theirs alone.
    std::wstring folder = std::wstring(temp, length) + L"webfind\\";
    if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
        why = lastError("cannot make " + utf8(folder));
        return false;
    }
    removeOldPages(folder);

    SYSTEMTIME now;
    GetLocalTime(&now);
    HANDLE file = INVALID_HANDLE_VALUE;
    std::wstring path;
    for (DWORD attempt = 0; attempt < 16 && file == INVALID_HANDLE_VALUE; ++attempt) {
        wchar_t name[64];
        swprintf(name, 64, L"webfind-%04u%02u%02u-%02u%02u%02u-%08lx.html", now.wYear, now.wMonth, now.wDay, now.wHour,
                 now.wMinute, now.wSecond, static_cast<unsigned long>(GetTickCount() ^ (GetCurrentProcessId() << 16) ^ attempt));
        path = folder + name;
        // Exclusive: never an existing file.
        file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) break;
    }
    if (file == INVALID_HANDLE_VALUE) {
        why = lastError("cannot create a page in " + utf8(folder));
        return false;
    }
    BlockBuffer buffer([&](const std::string& bytes) {
        DWORD written = 0;
        return WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
               written == bytes.size();
    });
    std::ostream page(&buffer);
    write(page);
    page.flush();
    bool ok = static_cast<bool>(page);
    ok = CloseHandle(file) && ok;
    if (!ok) {
        why = lastError("cannot write " + utf8(path));
        DeleteFileW(path.c_str());
        return false;
    }
    location = utf8(path);
    return true;
}

}  // namespace webfind
