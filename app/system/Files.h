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

// Replaces the file at `path` with what `write` gives, at once: a new file
// beside it, then renamed over it, so that a reader sees the old content or
// the new, never half of it. The file may be read by everyone (0644 on
// POSIX): it is meant for another program. False, with the reason, when it
// could not be written; the file at `path` is then as it was.
bool replaceFile(const std::string& path, const FileWriter& write, std::string& why);

}  // namespace webfind
