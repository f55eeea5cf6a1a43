#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "app/system/OutputBuffers.h"
#include "app/system/Files.h"
#include "app/system/UniqueFd.h"

namespace webfind {

bool writeAndClose(intptr_t handle, const FileWriter& write, std::string& why) {
    UniqueFd file(static_cast<int>(handle));
    int error = 0;
    BlockBuffer buffer([&](const std::string& bytes) {
        for (size_t done = 0; done < bytes.size();) {
            const ssize_t n = ::write(file.get(), bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                error = n < 0 ? errno : EIO;
                return false;
            }
            done += static_cast<size_t>(n);
        }
        return true;
    });
    std::ostream out(&buffer);
    write(out);
    out.flush();
    if (!out) {
        why = std::strerror(error);
        return false;
    }
    if (file.close() != 0) {
        why = std::strerror(errno);
        return false;
    }
    return true;
}

bool replaceable(const std::string& path, std::string& why) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) {
        if (errno == ENOENT) return true;
        why = path + ": " + std::strerror(errno);
        return false;
    }
    if (S_ISREG(info.st_mode)) return true;
    const char* what = S_ISLNK(info.st_mode)    ? "a symbolic link (name the file itself)"
                       : S_ISFIFO(info.st_mode) ? "a FIFO"
                       : S_ISCHR(info.st_mode)  ? "a character device"
                       : S_ISBLK(info.st_mode)  ? "a block device"
                       : S_ISDIR(info.st_mode)  ? "a directory"
                       : S_ISSOCK(info.st_mode) ? "a socket"
                                                : "not a regular file";
    why = path + " is " + what + ", not a file webfind may replace";
    return false;
}

bool replaceFile(const std::string& path, const FileWriter& write, std::string& why) {
    if (!replaceable(path, why)) return false;
    // Beside it, so that the rename stays within one file system; a name
    // that a collector of *.prom or *.html files passes over.
    std::string temporary = path + ".XXXXXX";
    const int fd = ::mkostemp(&temporary[0], O_CLOEXEC);
    if (fd < 0) {
        why = "cannot create a file beside " + path + ": " + std::strerror(errno);
        return false;
    }
    std::string failure;
    if (::fchmod(fd, 0644) != 0) {
        why = "cannot make " + temporary + " readable: " + std::strerror(errno);
        ::close(fd);
    } else if (!writeAndClose(fd, write, failure)) {
        why = "cannot write " + temporary + ": " + failure;
    } else if (!replaceable(path, why)) {
        // It changed while the new content was written.
    } else if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        why = "cannot replace " + path + ": " + std::strerror(errno);
    } else {
        return true;
    }
    ::unlink(temporary.c_str());
    return false;
}

}  // namespace webfind
