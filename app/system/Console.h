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

// A descriptor that becomes readable once a stop is requested, for waits
// that should end then; -1 where there is none (Windows).
intptr_t stopWakeHandle();

// True when standard output is a pipe or socket whose reader has gone (a
// "| head" that has read its lines): nothing written will be read.
bool standardOutputGone();

// True when standard error is a terminal (a console on Windows): a person
// is reading it.
bool standardErrorIsTerminal();

// Flushes standard output; true when everything written to it arrived.
// Otherwise false, with the reason in `why`.
bool standardOutputDelivered(std::string& why);

}  // namespace webfind
