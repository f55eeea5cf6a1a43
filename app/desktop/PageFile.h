#pragma once

#include <functional>
#include <ostream>
#include <string>

namespace webfind {

// Writes what `write` gives to a stream to a new file of its own for the browser to load, private
// to this user, created exclusively (a planted file or link is never
// followed or overwritten), and kept after webfind exits. `location` is what
// to hand the opener: a file:// URL on POSIX, the file's path on Windows.
// This user's pages older than a day are removed from the same folder. False,
// with the reason, when the page cannot be written.
//
// POSIX: $XDG_RUNTIME_DIR/webfind/ when it is set, otherwise
// $XDG_CACHE_HOME/webfind/ or ~/.cache/webfind/; the folder mode 0700, the
// file 0600. Windows: the webfind folder in the user's temp folder.
using PageWriter = std::function<void(std::ostream& out)>;
bool savePage(const PageWriter& write, std::string& location, std::string& why);

}  // namespace webfind
