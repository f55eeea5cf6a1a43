#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <random>

#include "app/base/Text.h"
#include "app/desktop/PageFile.h"
#include "app/output/OutputBuffers.h"
#include "app/system/UniqueFd.h"

namespace webfind {

namespace {

constexpr time_t PAGE_LIFETIME_SECONDS = 24 * 3600;

std::string absoluteVariable(const char* name) {
    const char* value = std::getenv(name);
    return value && value[0] == '/' ? value : "";
}

// The folder for pages, and the folders above it that may need making.
std::string pageFolder() {
    std::string runtime = absoluteVariable("XDG_RUNTIME_DIR");
    if (!runtime.empty()) return runtime + "/webfind";
    std::string cache = absoluteVariable("XDG_CACHE_HOME");
    if (!cache.empty()) return cache + "/webfind";
    std::string home = absoluteVariable("HOME");
    if (!home.empty()) return home + "/.cache/webfind";
    return "";
}

std::string failure(const std::string& what) { return what + ": " + std::strerror(errno); }

// Opens `path` as a folder of this user's alone, making it (and any missing
// folder above it) with mode 0700. A link in its place, or a folder of
// another user, is refused.
UniqueFd privateFolder(const std::string& path, std::string& why) {
    for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1))
        ::mkdir(path.substr(0, slash).c_str(), 0700);
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

// This user's pages in the folder that are older than a day.
void removeOldPages(int folder) {
    Listing listing(folder);
    if (!listing.dir) return;
    const time_t oldest = std::time(nullptr) - PAGE_LIFETIME_SECONDS;
    while (dirent* entry = ::readdir(listing.dir)) {
        std::string name = entry->d_name;
        if (name.rfind("webfind-", 0) != 0 || name.size() < 5 || name.compare(name.size() - 5, 5, ".html") != 0)
            continue;
        struct stat info {};
        if (::fstatat(folder, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) continue;
        if (S_ISREG(info.st_mode) && info.st_uid == ::geteuid() && info.st_mtime < oldest)
            ::unlinkat(folder, name.c_str(), 0);
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

}  // namespace

bool savePage(const PageWriter& write, std::string& location, std::string& why) {
    const std::string folderPath = pageFolder();
    if (folderPath.empty()) {
        why = "no folder for it (none of XDG_RUNTIME_DIR, XDG_CACHE_HOME and HOME is set)";
        return false;
    }
    UniqueFd folder = privateFolder(folderPath, why);
    if (!folder) return false;
    removeOldPages(folder.get());

    char stamp[32];
    std::time_t now = std::time(nullptr);
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", std::localtime(&now));
    std::random_device random;
    UniqueFd file;
    std::string name;
    for (int attempt = 0; attempt < 16 && !file; ++attempt) {
        char unique[16];
        std::snprintf(unique, sizeof unique, "%08x", static_cast<unsigned>(random()));
        name = std::string("webfind-") + stamp + "-" + unique + ".html";
        // Exclusive: never an existing file, never through a link.
        file.reset(::openat(folder.get(), name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (!file && errno != EEXIST) break;
    }
    if (!file) {
        why = failure("cannot create a page in " + folderPath);
        return false;
    }
    int error = 0;
    BlockBuffer buffer([&](const std::string& bytes) {
        for (size_t done = 0; done < bytes.size();) {
            ssize_t n = ::write(file.get(), bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                error = n < 0 ? errno : EIO;
                return false;
            }
            done += static_cast<size_t>(n);
        }
        return true;
    });
    std::ostream page(&buffer);
    write(page);
    page.flush();
    if (!page || file.close() != 0) {
        if (!page) errno = error;
        why = failure("cannot write " + folderPath + "/" + name);
        ::unlinkat(folder.get(), name.c_str(), 0);
        return false;
    }
    location = fileUrl(folderPath + "/" + name);
    return true;
}

}  // namespace webfind
