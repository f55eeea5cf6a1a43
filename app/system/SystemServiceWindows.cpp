#include <windows.h>
// After windows.h, which it builds on.
#include <shlobj.h>

#include <iostream>

#include "app/base/Text.h"
#include "app/base/Utf8.h"
#include "app/system/Console.h"
#include "app/system/OutputBuffers.h"
#include "app/system/SystemService.h"

namespace webfind {

namespace {

// The one service of this process: what the manager's threads share.
std::wstring serviceName;
const ServiceBody* serviceBody = nullptr;
SERVICE_STATUS_HANDLE statusHandle = nullptr;
int bodyStatus = 0;

void report(DWORD state, DWORD exitCode = NO_ERROR, DWORD waitHintMs = 0) {
    SERVICE_STATUS status{};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
    status.dwWin32ExitCode = exitCode == NO_ERROR ? NO_ERROR : ERROR_SERVICE_SPECIFIC_ERROR;
    status.dwServiceSpecificExitCode = exitCode;
    status.dwWaitHint = waitHintMs;
    SetServiceStatus(statusHandle, &status);
}

DWORD WINAPI control(DWORD code, DWORD, void*, void*) {
    if (code != SERVICE_CONTROL_STOP && code != SERVICE_CONTROL_SHUTDOWN) return ERROR_CALL_NOT_IMPLEMENTED;
    // The body sees the request within its short waits.
    report(SERVICE_STOP_PENDING, NO_ERROR, 1000);
    requestStop();
    return NO_ERROR;
}

std::string storedOptions() {
    wchar_t value[4096];
    DWORD bytes = sizeof value;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, wideFromUtf8(SERVICE_OPTIONS_KEY).c_str(),
                     wideFromUtf8(SERVICE_OPTIONS_VALUE).c_str(), RRF_RT_REG_SZ, nullptr, value,
                     &bytes) != ERROR_SUCCESS)
        return "";
    return utf8FromWide(std::wstring(value));
}

// ProgramData\webfind\<name>.log, kept under 1 MiB by starting afresh (the
// last one beside it as .old).
void logToFile(const std::wstring& name) {
    wchar_t data[MAX_PATH];
    const bool known = SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, data));
    std::wstring folder = (known ? std::wstring(data) : L"C:\\ProgramData") + L"\\webfind";
    CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring path = folder + L"\\" + name + L".log";
    WIN32_FILE_ATTRIBUTE_DATA facts;
    if (GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &facts) &&
        (facts.nFileSizeHigh || facts.nFileSizeLow > (1u << 20)))
        MoveFileExW(path.c_str(), (path + L".old").c_str(), MOVEFILE_REPLACE_EXISTING);
    HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    // A service starts without standard streams: the log takes their lines,
    // each written whole. Lives as long as the process, as the streams do.
    auto* lines = new LineBuffer([file](const std::string& line) {
        DWORD written = 0;
        return WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr) &&
               written == line.size();
    });
    std::cout.rdbuf(lines);
    std::cerr.rdbuf(lines);
    std::cout.clear();
    std::cerr.clear();
}

void WINAPI serviceMain(DWORD, wchar_t**) {
    statusHandle = RegisterServiceCtrlHandlerExW(serviceName.c_str(), control, nullptr);
    if (!statusHandle) return;
    report(SERVICE_START_PENDING, NO_ERROR, 3000);
    logToFile(serviceName);
    report(SERVICE_RUNNING);
    bodyStatus = (*serviceBody)(splitWords(storedOptions()));
    std::cerr.flush();
    report(SERVICE_STOPPED, static_cast<DWORD>(bodyStatus));
}

}  // namespace

int runAsSystemService(const std::string& name, const ServiceBody& body, std::string& problem) {
    serviceName = wideFromUtf8(name);
    serviceBody = &body;
    SERVICE_TABLE_ENTRYW table[] = {{&serviceName[0], serviceMain}, {nullptr, nullptr}};
    if (!StartServiceCtrlDispatcherW(table)) {
        problem = GetLastError() == ERROR_FAILED_SERVICE_CONTROLLER_CONNECT
                      ? "--service is for the Service Control Manager (sc start " + name + "), not for a console"
                      : "could not reach the Service Control Manager (error " + std::to_string(GetLastError()) + ")";
        return -1;
    }
    return bodyStatus;
}

}  // namespace webfind
