#include <windows.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include "app/base/Utf8.h"
#include "app/desktop/PageFile.h"
#include "app/output/Page.h"
#include "app/system/Files.h"

namespace webfind {

namespace {

// However many runs open pages, the folder keeps the newest this many, and
// no more bytes than this.
constexpr size_t KEPT_PAGES = 20;
constexpr unsigned long long KEPT_BYTES = 64ULL << 20;

std::string lastError(const std::string& what) { return what + " (error " + std::to_string(GetLastError()) + ")"; }

unsigned long long ticks(const FILETIME& time) {
    ULARGE_INTEGER value{};
    value.LowPart = time.dwLowDateTime;
    value.HighPart = time.dwHighDateTime;
    return value.QuadPart;
}

// This user's pages in the folder: those older than a day go, and then the
// oldest until the newest KEPT_PAGES remain within KEPT_BYTES with room for
// one more page of the largest size: the page about to be written counts.
void prunePages(const std::wstring& folder) {
    struct Page {
        std::wstring name;
        unsigned long long written, size;
    };
    std::vector<Page> pages;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"webfind-*.html").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        if (found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) continue;
        pages.push_back(Page{found.cFileName, ticks(found.ftLastWriteTime),
                             (static_cast<unsigned long long>(found.nFileSizeHigh) << 32) | found.nFileSizeLow});
    } while (FindNextFileW(search, &found));
    FindClose(search);
    std::sort(pages.begin(), pages.end(), [](const Page& a, const Page& b) { return a.written > b.written; });
    FILETIME nowTime;
    GetSystemTimeAsFileTime(&nowTime);
    const unsigned long long DAY = 24ULL * 3600 * 10000000;  // in 100 ns
    unsigned long long kept = 0;
    size_t count = 0;
    for (const Page& p : pages) {
        kept += p.size;
        ++count;
        if (ticks(nowTime) - p.written > DAY || count >= KEPT_PAGES || kept > KEPT_BYTES - PAGE_LIMIT)
            DeleteFileW((folder + p.name).c_str());
    }
}

// Writes what `write` gives to the new file at `path`; false (with the file
// removed) when any of it could not be written.
bool fill(HANDLE file, const std::wstring& path, const PageWriter& write, std::string& why) {
    std::string failure;
    if (writeAndClose(reinterpret_cast<intptr_t>(file), write, failure)) return true;
    why = "cannot write " + utf8FromWide(path) + " (" + failure + ")";
    DeleteFileW(path.c_str());
    return false;
}

// A new file of its own in `folder`, created exclusively; not inherited by
// any program we start.
HANDLE newFile(const std::wstring& folder, const wchar_t* stem, std::wstring& path) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    HANDLE file = INVALID_HANDLE_VALUE;
    for (DWORD attempt = 0; attempt < 16 && file == INVALID_HANDLE_VALUE; ++attempt) {
        wchar_t name[80];
        swprintf(name, 80, L"%ls%04u%02u%02u-%02u%02u%02u-%08lx.html", stem, now.wYear, now.wMonth, now.wDay, now.wHour,
                 now.wMinute, now.wSecond,
                 static_cast<unsigned long>(GetTickCount() ^ (GetCurrentProcessId() << 16) ^ attempt));
        path = folder + name;
        file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) break;
    }
    return file;
}

}  // namespace

bool savePage(const PageWriter& write, SavedPage& page, std::string& note, std::string& why) {
    note.clear();
    wchar_t temp[MAX_PATH + 1];
    DWORD length = GetTempPathW(MAX_PATH + 1, temp);
    if (length == 0 || length > MAX_PATH) {
        why = lastError("no temp folder");
        return false;
    }
    // The user's temp folder is already theirs alone.
    const std::wstring folder = std::wstring(temp, length) + L"webfind\\";
    if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
        why = lastError("cannot make " + utf8FromWide(folder));
        return false;
    }
    prunePages(folder);
    std::wstring path;
    HANDLE file = newFile(folder, L"webfind-", path);
    if (file == INVALID_HANDLE_VALUE) {
        why = lastError("cannot create a page in " + utf8FromWide(folder));
        return false;
    }
    if (!fill(file, path, write, why)) return false;
    page = SavedPage{utf8FromWide(folder), utf8FromWide(path.substr(folder.size())), utf8FromWide(path)};
    return true;
}

bool rewritePage(const SavedPage& page, const PageWriter& write, std::string& why) {
    const std::wstring folder = wideFromUtf8(page.folder);
    std::wstring path;
    HANDLE file = newFile(folder, L".webfind-new-", path);
    if (file == INVALID_HANDLE_VALUE) {
        why = lastError("cannot create a page in " + page.folder);
        return false;
    }
    if (!fill(file, path, write, why)) return false;
    if (!MoveFileExW(path.c_str(), (folder + wideFromUtf8(page.name)).c_str(), MOVEFILE_REPLACE_EXISTING)) {
        why = lastError("cannot replace " + page.location);
        DeleteFileW(path.c_str());
        return false;
    }
    return true;
}

}  // namespace webfind
