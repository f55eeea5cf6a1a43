#pragma once

#include <unistd.h>

namespace webfind {

// Owns one POSIX file descriptor, or none, and closes it when it goes.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd(fd) {}
    ~UniqueFd() { reset(); }
    UniqueFd(UniqueFd&& other) noexcept : fd(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int get() const { return fd; }
    explicit operator bool() const { return fd >= 0; }
    // Gives the descriptor up without closing it.
    int release() {
        int given = fd;
        fd = -1;
        return given;
    }
    void reset(int replacement = -1) {
        if (fd >= 0) ::close(fd);
        fd = replacement;
    }
    // Closes it now; ::close's result, which tells whether buffered writes
    // reached the file (0 without a descriptor).
    int close() {
        int result = fd >= 0 ? ::close(fd) : 0;
        fd = -1;
        return result;
    }

private:
    int fd = -1;
};

}  // namespace webfind
