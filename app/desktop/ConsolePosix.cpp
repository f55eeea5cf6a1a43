#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstring>
#include <iostream>

#include "app/desktop/Console.h"
#include "app/output/OutputBuffers.h"

namespace webfind {

namespace {

volatile sig_atomic_t stopSignal = 0;

void noteStop(int) { stopSignal = 1; }

bool closedAtStart = false;
int firstError = 0;

// Writes all of `bytes` to descriptor 1, remembering why it could not.
bool writeStandardOutput(const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(STDOUT_FILENO, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (firstError == 0) firstError = n < 0 ? errno : EIO;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

void prepareStandardStreams() {
    // Terminals take the bytes, and POSIX streams never translate newlines.
    if (::fcntl(STDOUT_FILENO, F_GETFD) == -1 && errno == EBADF) {
        closedAtStart = true;
        // Descriptor 1 stays taken, so that the socket cannot get it and
        // have the listing written into it.
        int fd = ::open("/dev/null", O_WRONLY);
        if (fd > STDOUT_FILENO) {
            ::dup2(fd, STDOUT_FILENO);
            ::close(fd);
        }
    }
    // Our own buffer, so that a failed write keeps its reason. It lives as
    // long as the process, since std::cout is flushed at exit.
    std::cout.rdbuf(new BlockBuffer(writeStandardOutput));
}

void catchStopRequests() {
    struct sigaction stop {};
    stop.sa_handler = noteStop;  // no SA_RESTART: a wait wakes at once
    sigemptyset(&stop.sa_mask);
    sigaction(SIGINT, &stop, nullptr);
    sigaction(SIGTERM, &stop, nullptr);
}

bool stopRequested() { return stopSignal != 0; }

bool standardErrorIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

bool standardOutputDelivered(std::string& why) {
    std::cout.flush();
    if (closedAtStart) {
        why = "standard output is closed";
        return false;
    }
    if (std::cout.good()) return true;
    why = firstError ? std::strerror(firstError) : "write failed";
    return false;
}

}  // namespace webfind
