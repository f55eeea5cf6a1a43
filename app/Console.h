#pragma once

namespace webfind {

// Sets standard output and error up so that every platform writes the same
// bytes for the same answers (no newline translation). On a Windows console,
// lines that are UTF-8 are written as text instead, so that names read right
// whatever the console's code page.
void prepareStandardStreams();

}  // namespace webfind
