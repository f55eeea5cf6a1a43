#include <windows.h>

#include <algorithm>
#include <cwctype>
#include <iterator>
#include <string>

#include "app/base/Utf8.h"
#include "app/system/OutputBuffers.h"
#include "app/system/Files.h"

namespace webfind {

namespace {

// A path given as bytes that are not all UTF-8 still names a file.
std::wstring wide(const std::string& path) { return wideFromUtf8(withReplacementCharacters(path)); }

std::string errorText(DWORD code) { return "error " + std::to_string(code); }

}  // namespace

bool writeAndClose(intptr_t handle, const FileWriter& write, std::string& why) {
    HANDLE file = reinterpret_cast<HANDLE>(handle);
    DWORD error = 0;
    BlockBuffer buffer([&](const std::string& bytes) {
        DWORD written = 0;
        if (WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
            written == bytes.size())
            return true;
        error = GetLastError();
        return false;
    });
    std::ostream out(&buffer);
    write(out);
    out.flush();
    const bool written = static_cast<bool>(out);
    if (!CloseHandle(file) && written) error = GetLastError();
    if (written && error == 0) return true;
    why = errorText(error);
    return false;
}

bool replaceable(const std::string& path, std::string& why) {
    const std::wstring target = wide(path);
    // A device's name (NUL, CON, COM1, ...) names the device in any folder.
    const size_t separator = target.find_last_of(L"\\/:");
    std::wstring stem = target.substr(separator == std::wstring::npos ? 0 : separator + 1);
    stem = stem.substr(0, stem.find(L'.'));
    for (wchar_t& c : stem) c = static_cast<wchar_t>(towupper(c));
    static const wchar_t* const devices[] = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"};
    bool device = target.compare(0, 4, L"\\\\.\\") == 0 ||  // \\.\pipe\..., \\.\PhysicalDrive0
                  std::find(std::begin(devices), std::end(devices), stem) != std::end(devices) ||
                  (stem.size() == 4 && (stem.compare(0, 3, L"COM") == 0 || stem.compare(0, 3, L"LPT") == 0) &&
                   stem[3] >= L'0' && stem[3] <= L'9');
    const DWORD attributes = GetFileAttributesW(target.c_str());
    if (!device && attributes == INVALID_FILE_ATTRIBUTES) return true;
    if (!device && !(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE)))
        return true;
    why = path + " is " +
          (device                                    ? "a device"
           : (attributes & FILE_ATTRIBUTE_DIRECTORY) ? "a directory"
                                                     : "a link or a device") +
          ", not a file webfind may replace";
    return false;
}

bool replaceFile(const std::string& path, const FileWriter& write, std::string& why) {
    if (!replaceable(path, why)) return false;
    const std::wstring target = wide(path);
    const std::wstring temporary = target + L".new-" + std::to_wstring(GetCurrentProcessId());
    HANDLE file =
        CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        why = "cannot create a file beside " + path + " (" + errorText(GetLastError()) + ")";
        return false;
    }
    std::string failure;
    if (!writeAndClose(reinterpret_cast<intptr_t>(file), write, failure)) {
        why = "cannot write beside " + path + " (" + failure + ")";
    } else if (!replaceable(path, why)) {
        // It changed while the new content was written.
    } else if (!MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        why = "cannot replace " + path + " (" + errorText(GetLastError()) + ")";
    } else {
        return true;
    }
    DeleteFileW(temporary.c_str());
    return false;
}

}  // namespace webfind
