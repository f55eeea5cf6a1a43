#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <random>
#include <vector>

#include "app/base/Text.h"
#include "app/desktop/PageFile.h"
#include "app/output/Page.h"
#include "app/system/Files.h"
#include "app/system/UniqueFd.h"

namespace webfind {

namespace {

constexpr time_t PAGE_LIFETIME_SECONDS = 24 * 3600;
// However many runs open pages, the folder keeps the newest this many, and
// no more bytes than this.
constexpr size_t KEPT_PAGES = 20;
constexpr off_t KEPT_BYTES = off_t(64) << 20;

std::string failure(const std::string& what) { return what + ": " + std::strerror(errno); }

std::string absoluteVariable(const char* name) {
    const char* value = std::getenv(name);
    return value && value[0] == '/' ? value : "";
}

// True when `path` is a folder (not a link) of this user's.
bool ownFolder(const std::string& path) {
    struct stat info {};
    return !path.empty() && ::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::geteuid();
}

// A place for pages: `base`, which must be there already and this user's,
// and the folders to make below it ("webfind", or ".cache/webfind").
struct Place {
    std::string base;
    std::string below;
};

// The places in the order they are tried; a base that is missing or another
// user's (as root under sudo -E: the user's own folders) is no place.
std::vector<Place> places() {
    std::vector<Place> found;
    auto add = [&](const std::string& base, const std::string& below) {
        if (!ownFolder(base)) return;
        for (const Place& p : found)
            if (p.base + "/" + p.below == base + "/" + below) return;
        found.push_back(Place{base, below});
    };
    add(absoluteVariable("XDG_RUNTIME_DIR"), "webfind");
    add("/run/user/" + std::to_string(::geteuid()), "webfind");
    const std::string cache = absoluteVariable("XDG_CACHE_HOME");
    if (ownFolder(cache)) {
        add(cache, "webfind");
    } else if (!cache.empty()) {
        const size_t slash = cache.rfind('/');
        add(slash == 0 ? "/" : cache.substr(0, slash), cache.substr(slash + 1) + "/webfind");
    }
    const std::string home = absoluteVariable("HOME");
    add(home, ".cache/webfind");
    // HOME another user's (root under sudo -E): this user's own home instead.
    struct stat info {};
    if (!home.empty() && ::stat(home.c_str(), &info) == 0 && info.st_uid != ::geteuid())
        if (const passwd* account = ::getpwuid(::geteuid()))
            add(account->pw_dir ? account->pw_dir : "", ".cache/webfind");
    return found;
}

// Opens `path` as a folder of this user's alone, making it with mode 0700
// when it is missing. A link in its place, or a folder of another user, is
// refused.
UniqueFd privateFolder(const std::string& path, std::string& why) {
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
        why = failure("cannot make " + path);
        return UniqueFd();
    }
    UniqueFd folder(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!folder) {
        why = failure("cannot open " + path);
        return UniqueFd();
    }
    struct stat info {};
    if (::fstat(folder.get(), &info) != 0 || info.st_uid != ::geteuid()) {
        why = path + " belongs to another user";
        return UniqueFd();
    }
    // Ours, but perhaps made open to others: closed again.
    if ((info.st_mode & 077) != 0 && ::fchmod(folder.get(), 0700) != 0) {
        why = failure("cannot make " + path + " private");
        return UniqueFd();
    }
    return folder;
}

// Makes the folders of `place` below its base, each private; the last one
// opened.
UniqueFd placeFolder(const Place& place, std::string& path, std::string& why) {
    path = place.base == "/" ? "" : place.base;
    UniqueFd folder;
    size_t from = 0;
    do {
        const size_t slash = place.below.find('/', from);
        path += "/" + place.below.substr(from, slash - from);
        folder = privateFolder(path, why);
        if (!folder) return folder;
        from = slash == std::string::npos ? slash : slash + 1;
    } while (from != std::string::npos);
    return folder;
}

// The folder's listing, closed when it goes.
struct Listing {
    DIR* dir;
    explicit Listing(int folder) : dir(nullptr) {
        UniqueFd copy(::fcntl(folder, F_DUPFD_CLOEXEC, 0));
        if (copy && (dir = ::fdopendir(copy.get())) != nullptr) copy.release();
    }
    ~Listing() {
        if (dir) ::closedir(dir);
    }
    Listing(const Listing&) = delete;
    Listing& operator=(const Listing&) = delete;
};

bool pageName(const std::string& name) {
    return name.rfind("webfind-", 0) == 0 && name.size() > 13 && name.compare(name.size() - 5, 5, ".html") == 0;
}

// This user's pages in the folder: those older than a day go, and then the
// oldest until the newest KEPT_PAGES remain within KEPT_BYTES with room for
// one more page of the largest size (PAGE_LIMIT): the page about to be
// written counts.
void prunePages(int folder) {
    struct Page {
        std::string name;
        time_t written;
        off_t size;
    };
    std::vector<Page> pages;
    {
        Listing listing(folder);
        if (!listing.dir) return;
        while (dirent* entry = ::readdir(listing.dir)) {
            const std::string name = entry->d_name;
            struct stat info {};
            if (!pageName(name) || ::fstatat(folder, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) continue;
            if (S_ISREG(info.st_mode) && info.st_uid == ::geteuid())
                pages.push_back(Page{name, info.st_mtime, info.st_size});
        }
    }
    std::sort(pages.begin(), pages.end(), [](const Page& a, const Page& b) { return a.written > b.written; });
    const time_t oldest = std::time(nullptr) - PAGE_LIFETIME_SECONDS;
    off_t kept = 0;
    size_t count = 0;
    for (const Page& p : pages) {
        kept += p.size;
        ++count;
        if (p.written < oldest || count >= KEPT_PAGES || kept > KEPT_BYTES - off_t(PAGE_LIMIT))
            ::unlinkat(folder, p.name.c_str(), 0);
    }
}

// A file:// URL for an absolute path: bytes other than letters, digits and
// -._~/ are percent-encoded.
std::string fileUrl(const std::string& path) {
    std::string url = "file://";
    for (unsigned char c : path) {
        if (std::isalnum(c) || std::strchr("-._~/", c)) {
            url += static_cast<char>(c);
        } else {
            url += '%';
            url += hexDigit(c >> 4);
            url += hexDigit(c);
        }
    }
    return url;
}

// A new file of its own in `folder`, named after `stem`, created exclusively.
UniqueFd newFile(int folder, const std::string& stem, std::string& name) {
    char stamp[32];
    std::time_t now = std::time(nullptr);
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", std::localtime(&now));
    std::random_device random;
    UniqueFd file;
    for (int attempt = 0; attempt < 16 && !file; ++attempt) {
        char unique[16];
        std::snprintf(unique, sizeof unique, "%08x", static_cast<unsigned>(random()));
        name = stem + stamp + "-" + unique + ".html";
        // Exclusive: never an existing file, never through a link.
        file.reset(::openat(folder, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (!file && errno != EEXIST) break;
    }
    return file;
}

// Writes what `write` gives to `file`, and closes it; false (with the file
// removed) when any of it could not be written.
bool fill(UniqueFd& file, int folder, const std::string& path, const std::string& name, const PageWriter& write,
          std::string& why) {
    std::string failure;
    if (writeAndClose(file.release(), write, failure)) return true;
    why = "cannot write " + path + "/" + name + ": " + failure;
    ::unlinkat(folder, name.c_str(), 0);
    return false;
}

bool saveIn(UniqueFd folder, const std::string& path, const PageWriter& write, SavedPage& saved, std::string& why) {
    prunePages(folder.get());
    std::string name;
    UniqueFd file = newFile(folder.get(), "webfind-", name);
    if (!file) {
        why = failure("cannot create a page in " + path);
        return false;
    }
    if (!fill(file, folder.get(), path, name, write, why)) return false;
    saved = SavedPage{path, name, fileUrl(path + "/" + name)};
    return true;
}

// A private folder in the system's temporary folder: this user's own one,
// kept from run to run, or a new one where another user took its name.
UniqueFd temporaryFolder(std::string& path, std::string& why) {
    const std::string tmp = absoluteVariable("TMPDIR").empty() ? "/tmp" : absoluteVariable("TMPDIR");
    path = tmp + "/webfind-" + std::to_string(::geteuid());
    UniqueFd folder = privateFolder(path, why);
    if (folder) return folder;
    std::string pattern = tmp + "/webfind-XXXXXX";
    if (!::mkdtemp(&pattern[0])) {
        why = failure("cannot make a folder in " + tmp);
        return UniqueFd();
    }
    path = pattern;
    return privateFolder(path, why);
}

}  // namespace

bool savePage(const PageWriter& write, SavedPage& page, std::string& note, std::string& why) {
    note.clear();
    std::string first;  // why the usual folder did not take it
    for (const Place& place : places()) {
        std::string path, failed;
        UniqueFd folder = placeFolder(place, path, failed);
        if (folder && saveIn(std::move(folder), path, write, page, failed)) {
            if (!first.empty()) note = "could not write the page where it usually goes (" + first + ")";
            return true;
        }
        if (first.empty()) first = failed;
    }
    std::string path, failed;
    UniqueFd folder = temporaryFolder(path, failed);
    if (folder && saveIn(std::move(folder), path, write, page, failed)) {
        note = first.empty() ? "no folder of this user's for pages (none of XDG_RUNTIME_DIR, XDG_CACHE_HOME and HOME)"
                             : "could not write the page where it usually goes (" + first + ")";
        note += "; it went to a private temporary folder";
        return true;
    }
    why = first.empty() ? failed : first + "; " + failed;
    return false;
}

bool rewritePage(const SavedPage& page, const PageWriter& write, std::string& why) {
    UniqueFd folder = privateFolder(page.folder, why);
    if (!folder) return false;
    std::string name;
    UniqueFd file = newFile(folder.get(), ".webfind-new-", name);
    if (!file) {
        why = failure("cannot create a page in " + page.folder);
        return false;
    }
    if (!fill(file, folder.get(), page.folder, name, write, why)) return false;
    // Only the page itself is replaced, never what took its name.
    struct stat info {};
    if (::fstatat(folder.get(), page.name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISREG(info.st_mode)) {
        why = page.folder + "/" + page.name + " is no longer a page of webfind's";
        ::unlinkat(folder.get(), name.c_str(), 0);
        return false;
    }
    if (::renameat(folder.get(), name.c_str(), folder.get(), page.name.c_str()) != 0) {
        why = failure("cannot replace " + page.folder + "/" + page.name);
        ::unlinkat(folder.get(), name.c_str(), 0);
        return false;
    }
    return true;
}

}  // namespace webfind
