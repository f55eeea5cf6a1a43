#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "app/base/Address.h"

namespace webfind {

// The text rules that every output shares: what a terminal may be shown,
// what may be handed to an opener, how times read.

// Bytes below 0x20 and 0x7F, and a backslash followed by x, become \xHH
// (upper-case hex), and so does each byte of what a terminal would take as a
// command or a change of direction: the C1 controls (U+0080-U+009F, and raw
// bytes 0x80-0x9F outside a UTF-8 sequence) and the bidi controls
// U+202A-U+202E and U+2066-U+2069. Every other byte is kept. So every \x in
// the result is an escape, and the line reads back to the exact bytes.
std::string escapeForTerminal(const std::string& text);

// True for the code points a terminal must never be handed as they are: C0
// and C1 controls, DEL, and the bidi embeddings, overrides and isolates.
bool terminalControl(char32_t point);

// True when the URL holds no byte that could be misread by an opener or a
// browser's command line: none below 0x21, no 0x7F, none of "<>\^`{|}.
bool safeToOpen(const std::string& url);

// `when` in RFC 3339, UTC, to the millisecond: 2026-12-07T13:05:59.123Z.
std::string rfc3339(std::chrono::system_clock::time_point when);

// `when` as local time for people: 2026-12-07 14:05:59 +0100.
std::string localTime(std::chrono::system_clock::time_point when);

// The local time of day of `when`: 14:05:59.
std::string clockTime(std::chrono::system_clock::time_point when);

// The words of a stored command line: separated by spaces or tabs, a
// double-quoted stretch kept as one word (without its quotes); no escapes.
std::vector<std::string> splitWords(const std::string& line);

// The upper-case hex digit of the low four bits of `value`.
inline char hexDigit(unsigned value) { return "0123456789ABCDEF"[value & 0xF]; }

}  // namespace webfind
