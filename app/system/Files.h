#pragma once

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>

namespace webfind {

// The whole content of a (small) file; empty when it cannot be read.
std::string fileText(const char* path);

// Writes a file's content to the stream it is given.
using FileWriter = std::function<void(std::ostream& out)>;

// Writes what `write` gives to the open file `handle` (a descriptor on
// POSIX, a HANDLE on Windows) in blocks, never holding it whole, and closes
// it. False, with the system's reason, when any of it could not be written.
bool writeAndClose(intptr_t handle, const FileWriter& write, std::string& why);

// True when `path` names what replaceFile may replace: nothing yet, or a
// regular file. Anything else (a FIFO, a device, a directory, a socket, a
// link, whatever it leads to) would be replaced by a regular file in its
// place, or written into: false, with what it is ("is a FIFO").
bool replaceable(const std::string& path, std::string& why);

// Replaces the file at `path` with what `write` gives, at once: a new file
// beside it, then renamed over it, so that a reader sees the old content or
// the new, never half of it. The file may be read by everyone (0644 on
// POSIX): it is meant for another program. Only what is replaceable() is
// replaced, checked again right before. False, with the reason, when it
// could not be written; what is at `path` is then as it was.
bool replaceFile(const std::string& path, const FileWriter& write, std::string& why);

}  // namespace webfind
