#pragma once

#include <string>

namespace webfind {

// Sets standard output and error up so that every platform writes the same
// bytes for the same answers (no newline translation). On a Windows console,
// lines that are UTF-8 are written as text instead, so that names read right
// whatever the console's code page.
void prepareStandardStreams();

// True when standard error is a terminal (a console on Windows): a person
// is reading it.
bool standardErrorIsTerminal();

// Flushes standard output; true when everything written to it arrived.
// Otherwise false, with the reason in `why`.
bool standardOutputDelivered(std::string& why);

}  // namespace webfind
