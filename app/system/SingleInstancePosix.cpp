#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <errno.h>

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "app/system/SingleInstance.h"

namespace webfind {

namespace {

// "\0<name>": an abstract name, which no file holds and no crash leaves behind.
socklen_t abstractAddress(const std::string& name, sockaddr_un& address) {
    address = sockaddr_un{};
    address.sun_family = AF_UNIX;
    const size_t length = std::min(name.size(), sizeof address.sun_path - 1);
    std::memcpy(address.sun_path + 1, name.data(), length);
    return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + length);
}

}  // namespace

SingleInstance::~SingleInstance() {
    if (handle >= 0) ::close(static_cast<int>(handle));
}

bool SingleInstance::take(const std::string& name, std::string& holder) {
    holder.clear();
    sockaddr_un address;
    const socklen_t length = abstractAddress(name, address);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return true;
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), length) == 0 && ::listen(fd, 1) == 0) {
        handle = fd;
        return true;
    }
    const bool taken = errno == EADDRINUSE;
    ::close(fd);
    if (!taken) return true;  // a system without abstract names
    // The holder, as the system saw it when it began to listen.
    const int probe = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (probe >= 0 && ::connect(probe, reinterpret_cast<const sockaddr*>(&address), length) == 0) {
#ifdef SO_PEERCRED
        ucred peer{};
        socklen_t size = sizeof peer;
        if (::getsockopt(probe, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 && peer.pid > 0)
            holder = "pid " + std::to_string(peer.pid);
#endif
    }
    if (probe >= 0) ::close(probe);
    return false;
}

}  // namespace webfind
