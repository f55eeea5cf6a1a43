#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <iostream>
#include <string>

#include "app/system/Console.h"
#include "app/system/OutputBuffers.h"

namespace webfind {

namespace {

bool writeLine(HANDLE console, const std::string& line) {
    ConsoleLine converted = forConsole(line);
    DWORD written = 0;
    if (!converted.asText)
        return WriteFile(console, line.data(), static_cast<DWORD>(line.size()), &written, nullptr) &&
               written == line.size();
    std::wstring text(converted.text.begin(), converted.text.end());
    return WriteConsoleW(console, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
           written == text.size();
}

volatile LONG stopAsked = 0;

// Runs on a thread of its own; the flag is all it touches.
BOOL WINAPI noteStop(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) return FALSE;
    InterlockedExchange(&stopAsked, 1);
    return TRUE;
}

// Only a real console: a file or a pipe gets exactly the bytes Linux writes.
// SetConsoleOutputCP is not used: it would change the console for every
// process sharing it.
void attachConsole(std::ostream& stream, DWORD which) {
    HANDLE console = GetStdHandle(which);
    DWORD mode = 0;
    if (console == INVALID_HANDLE_VALUE || console == nullptr || !GetConsoleMode(console, &mode)) return;
    // Lives as long as the process, since the standard streams do.
    auto* lines = new LineBuffer([console](const std::string& line) { return writeLine(console, line); });
    stream.flush();
    stream.rdbuf(lines);
}

}  // namespace

void prepareStandardStreams() {
    // Text mode would turn each "\n" into "\r\n".
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    attachConsole(std::cout, STD_OUTPUT_HANDLE);
    attachConsole(std::cerr, STD_ERROR_HANDLE);
}

void catchStopRequests() { SetConsoleCtrlHandler(noteStop, TRUE); }

bool stopRequested() { return InterlockedCompareExchange(&stopAsked, 0, 0) != 0; }

void requestStop() { InterlockedExchange(&stopAsked, 1); }

// The console's handler runs on a thread of its own; waits there are kept
// short instead.
intptr_t stopWakeHandle() { return -1; }

void catchReloadRequests() {}
bool takeReloadRequest() { return false; }

// The console and pipes of Windows offer no write that gives up at once.
bool writeErrorWithoutWaiting(const std::string& line, uint32_t) {
    std::cerr << (line.size() > MAX_ERROR_LINE ? line.substr(0, MAX_ERROR_LINE) : line) << std::flush;
    return static_cast<bool>(std::cerr);
}

bool standardOutputGone() { return false; }

bool standardErrorIsTerminal() {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

void keepWindowUntilEnter() {
    ConsoleFacts facts;
    DWORD list[2], mode = 0;
    facts.processes = GetConsoleProcessList(list, 2);
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    facts.inputIsConsole = GetConsoleMode(input, &mode) != 0;
    facts.outputIsConsole = GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
    const HWND window = GetConsoleWindow();
    facts.windowShown = window != nullptr && IsWindowVisible(window);
    if (!windowClosesWithProgram(facts)) return;
    std::cout.flush();
    writeLine(GetStdHandle(STD_ERROR_HANDLE), "webfind: press Enter to close this window\n");
    // Until a line ends, the console is closed or input fails.
    wchar_t typed[64];
    for (DWORD read = 0; !stopRequested() && ReadConsoleW(input, typed, 64, &read, nullptr) && read > 0;)
        if (std::wstring(typed, read).find(L'\r') != std::wstring::npos) break;
}

bool standardOutputDelivered(std::string& why) {
    std::cout.flush();
    if (std::cout.good() && std::fflush(stdout) == 0 && !std::ferror(stdout)) return true;
    why = "write failed";
    return false;
}

}  // namespace webfind
