#pragma once

#include <cstdint>
#include <string>

namespace webfind {

// Sets standard output and error up so that every platform writes the same
// bytes for the same answers (no newline translation). On a Windows console,
// lines that are UTF-8 are written as text instead, so that names read right
// whatever the console's code page.
void prepareStandardStreams();

// From now on an interrupt or a termination request (Ctrl-C, SIGINT,
// SIGTERM; on Windows Ctrl-C, Ctrl-Break, closing the console) does not end
// the process but sets a flag that stopRequested() reports. A write to
// standard output that is blocked then gives up (the output is lost). A
// reader that leaves (EPIPE) ends the output quietly, as head's users expect.
void catchStopRequests();
bool stopRequested();
// Requests a stop from within the program, as an interrupt would (a
// service manager's stop).
void requestStop();

// A descriptor that becomes readable once a stop is requested, for waits
// that should end then; -1 where there is none (Windows).
intptr_t stopWakeHandle();

// From now on SIGHUP asks for the program's view of the host to be read
// again instead of ending the process: takeReloadRequest() tells of it
// once, and it wakes the waits on stopWakeHandle() as a stop does. Windows
// has no such signal.
void catchReloadRequests();
bool takeReloadRequest();

// Writes `line` (at most MAX_ERROR_LINE bytes) to standard error if that can
// be done within `waitMs` (0: at once) without waiting longer, whatever
// standard error is: a pipe nobody reads, a stopped terminal or a full disk
// do not hold the caller up; false then, and nothing of it is written
// (on Windows the write is made as it comes).
constexpr size_t MAX_ERROR_LINE = 4096;
bool writeErrorWithoutWaiting(const std::string& line, uint32_t waitMs = 0);

// True when standard output is a pipe or socket whose reader has gone (a
// "| head" that has read its lines): nothing written will be read.
bool standardOutputGone();

// True when standard error is a terminal (a console on Windows): a person
// is reading it.
bool standardErrorIsTerminal();

// Whether a console window would close with the program and take its
// output with it: the program is the only process of its console (Windows
// started it from Explorer or the Start menu, not from a terminal or a
// script), reads and writes that console, and the console has a window on
// the screen (not a scheduled task's hidden one, nor a terminal of another
// system's that Wine draws in). Never where windows stay.
struct ConsoleFacts {
    uint32_t processes = 0;  // processes attached to the console (0: none)
    bool inputIsConsole = false, outputIsConsole = false, windowShown = false;
};
inline bool windowClosesWithProgram(const ConsoleFacts& f) {
    return f.processes == 1 && f.inputIsConsole && f.outputIsConsole && f.windowShown;
}
// When the window would close with the program, says so and waits for
// Enter (or a stop request) before returning.
void keepWindowUntilEnter();

// Flushes standard output; true when everything written to it arrived.
// Otherwise false, with the reason in `why`.
bool standardOutputDelivered(std::string& why);

}  // namespace webfind
