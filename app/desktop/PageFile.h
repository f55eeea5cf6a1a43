#pragma once

#include <functional>
#include <ostream>
#include <string>

#include "app/system/Files.h"

namespace webfind {

// A page of devices for the browser to load: a new file of its own, private
// to this user, created exclusively (a planted file or link is never
// followed or overwritten), and kept after webfind exits.
struct SavedPage {
    std::string folder;    // where it is
    std::string name;      // its file's name there
    std::string location;  // what to hand the opener: a file:// URL on POSIX, the path on Windows
};

using PageWriter = FileWriter;

// Writes what `write` gives to a new page. The folder is the first that is
// this user's of: POSIX $XDG_RUNTIME_DIR/webfind/, /run/user/UID/webfind/,
// $XDG_CACHE_HOME/webfind/, ~/.cache/webfind/ (the home this user's own and
// there already; as root, never another user's folder), then a private
// temporary folder; the folder mode 0700, the file 0600. Windows: the
// webfind folder in the user's temp folder. In that folder, pages older
// than a day go, and the oldest beyond the newest 20 or 64 MiB.
// False, with the reason, when no folder takes it. `note`, on success, says
// where the page went when its usual folder would not take it.
bool savePage(const PageWriter& write, SavedPage& page, std::string& note, std::string& why);

// Writes `page` anew with what `write` gives: a new file beside it, then
// renamed over it, so that a browser reading it never sees half a page.
bool rewritePage(const SavedPage& page, const PageWriter& write, std::string& why);

}  // namespace webfind
