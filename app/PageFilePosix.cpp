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

#include "app/OutputBuffers.h"
#include "app/PageFile.h"

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
int privateFolder(const std::string& path, std::string& why) {
    for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1))
        ::mkdir(path.substr(0, slash).c_str(), 0700);
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
        why = failure("cannot make " + path);
        return -1;
    }
    int folder = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (folder < 0) {
        why = failure("cannot open " + path);
        return -1;
    }
    struct stat info {};
    if (::fstat(folder, &info) != 0 || info.st_uid != ::geteuid()) {
        ::close(folder);
        why = path + " belongs to another user";
        return -1;
    }
    // Ours, but perhaps made open to others: closed again.
    if ((info.st_mode & 077) != 0 && ::fchmod(folder, 0700) != 0) {
        why = failure("cannot make " + path + " private");
        ::close(folder);
        return -1;
    }
    return folder;
}

// This user's pages in the folder that are older than a day.
void removeOldPages(int folder) {
    int listing = ::dup(folder);
    DIR* dir = listing < 0 ? nullptr : ::fdopendir(listing);
    if (!dir) {
        if (listing >= 0) ::close(listing);
        return;
    }
    const time_t oldest = std::time(nullptr) - PAGE_LIFETIME_SECONDS;
    while (dirent* entry = ::readdir(dir)) {
        std::string name = entry->d_name;
        if (name.rfind("webfind-", 0) != 0 || name.size() < 5 || name.compare(name.size() - 5, 5, ".html") != 0)
            continue;
        struct stat info {};
        if (::fstatat(folder, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) continue;
        if (S_ISREG(info.st_mode) && info.st_uid == ::geteuid() && info.st_mtime < oldest)
            ::unlinkat(folder, name.c_str(), 0);
    }
    ::closedir(dir);
}

// A file:// URL for an absolute path: bytes other than letters, digits and
// -._~/ are percent-encoded.
std::string fileUrl(const std::string& path) {
    static const char hex[] = "0123456789ABCDEF";
    std::string url = "file://";
    for (unsigned char c : path) {
        if (std::isalnum(c) || std::strchr("-._~/", c)) {
            url += static_cast<char>(c);
        } else {
            url += '%';
            url += hex[c >> 4];
            url += hex[c & 0xF];
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
    int folder = privateFolder(folderPath, why);
    if (folder < 0) return false;
    removeOldPages(folder);

    char stamp[32];
    std::time_t now = std::time(nullptr);
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", std::localtime(&now));
    std::random_device random;
    int file = -1;
    std::string name;
    for (int attempt = 0; attempt < 16 && file < 0; ++attempt) {
        char unique[16];
        std::snprintf(unique, sizeof unique, "%08x", static_cast<unsigned>(random()));
        name = std::string("webfind-") + stamp + "-" + unique + ".html";
        // Exclusive: never an existing file, never through a link.
        file = ::openat(folder, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (file < 0 && errno != EEXIST) break;
    }
    ::close(folder);
    if (file < 0) {
        why = failure("cannot create a page in " + folderPath);
        return false;
    }
    int error = 0;
    BlockBuffer buffer([&](const std::string& bytes) {
        for (size_t done = 0; done < bytes.size();) {
            ssize_t n = ::write(file, bytes.data() + done, bytes.size() - done);
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
    if (!page) {
        errno = error;
        why = failure("cannot write " + folderPath + "/" + name);
        ::close(file);
        ::unlink((folderPath + "/" + name).c_str());
        return false;
    }
    if (::close(file) != 0) {
        why = failure("cannot write " + folderPath + "/" + name);
        return false;
    }
    location = fileUrl(folderPath + "/" + name);
    return true;
}

}  // namespace webfind
