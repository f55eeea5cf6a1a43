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

bool replaceFile(const std::string& path, const FileWriter& write, std::string& why) {
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
    } else if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        why = "cannot replace " + path + ": " + std::strerror(errno);
    } else {
        return true;
    }
    ::unlink(temporary.c_str());
    return false;
}

}  // namespace webfind
