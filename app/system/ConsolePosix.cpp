#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <iostream>

#include "app/system/Console.h"
#include "app/system/OutputBuffers.h"

namespace webfind {

namespace {

volatile sig_atomic_t stopSignal = 0;
volatile sig_atomic_t reloadSignal = 0;
// The self-pipe that wakes waits on a stop or reload request: the handler
// writes to its second end.
int wakePipe[2] = {-1, -1};

// Sets `flag` and wakes the waits; from a signal handler.
void note(volatile sig_atomic_t& flag) {
    const int saved = errno;
    flag = 1;
    if (wakePipe[1] >= 0) {
        const char byte = 1;
        (void)!::write(wakePipe[1], &byte, 1);
    }
    errno = saved;
}

void noteStop(int) { note(stopSignal); }

void noteReload(int) { note(reloadSignal); }

bool closedAtStart = false;
int firstError = 0;
bool stoppedWhileBlocked = false;
bool readerGone = false;  // EPIPE: nobody reads any more (a watch's "| head")

// Writes all of `bytes` to descriptor 1, remembering why it could not.
bool writeStandardOutput(const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        // Once a stop is requested, a write that would block (a reader that
        // does not read) gives the rest up instead of waiting forever.
        pollfd room{STDOUT_FILENO, POLLOUT, 0};
        if (stopSignal && !(::poll(&room, 1, 0) == 1 && (room.revents & POLLOUT))) {
            if (firstError == 0) firstError = EINTR;
            stoppedWhileBlocked = true;
            return false;
        }
        ssize_t n = ::write(STDOUT_FILENO, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EPIPE) readerGone = true;
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
    if (wakePipe[0] < 0 && ::pipe2(wakePipe, O_CLOEXEC | O_NONBLOCK) != 0) wakePipe[0] = wakePipe[1] = -1;
    struct sigaction stop {};
    stop.sa_handler = noteStop;  // no SA_RESTART: a wait wakes at once
    sigemptyset(&stop.sa_mask);
    sigaction(SIGINT, &stop, nullptr);
    sigaction(SIGTERM, &stop, nullptr);
    // A reader that leaves ends the watch quietly, by a write that fails
    // with EPIPE, instead of a signal that kills it.
    ::signal(SIGPIPE, SIG_IGN);
}

bool stopRequested() { return stopSignal != 0; }

void requestStop() { noteStop(SIGTERM); }

void catchReloadRequests() {
    if (wakePipe[0] < 0 && ::pipe2(wakePipe, O_CLOEXEC | O_NONBLOCK) != 0) wakePipe[0] = wakePipe[1] = -1;
    struct sigaction reload {};
    reload.sa_handler = noteReload;
    sigemptyset(&reload.sa_mask);
    sigaction(SIGHUP, &reload, nullptr);
}

bool takeReloadRequest() {
    if (!reloadSignal) return false;
    reloadSignal = 0;
    // The wake it left is taken, unless a stop waits to be seen.
    char bytes[16];
    if (!stopSignal && wakePipe[0] >= 0)
        while (::read(wakePipe[0], bytes, sizeof bytes) > 0) {
        }
    return true;
}

namespace {

// Where lines for standard error go without waiting: a descriptor of its
// own, opened anew without waits, for a pipe or a terminal (the shared one
// is left as the caller's shell has it); standard error itself for a file
// (writes there never wait for a reader) or a socket (sent without waiting).
struct ErrorWriter {
    int fd = STDERR_FILENO;
    bool socket = false;
    bool own = false;
    ErrorWriter() {
        struct stat info {};
        if (::fstat(STDERR_FILENO, &info) != 0) return;
        socket = S_ISSOCK(info.st_mode);
        if (S_ISFIFO(info.st_mode) || S_ISCHR(info.st_mode)) {
            const int again = ::open("/proc/self/fd/2", O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
            if (again >= 0) {
                fd = again;
                own = true;
            }
        }
    }
    ~ErrorWriter() {
        if (own) ::close(fd);
    }
};

}  // namespace

bool writeErrorWithoutWaiting(const std::string& line, uint32_t waitMs) {
    static const ErrorWriter writer;
    const std::string& bytes = line.size() > MAX_ERROR_LINE ? line.substr(0, MAX_ERROR_LINE) : line;
    // Room for it first: a pipe that reports room takes a write of up to
    // PIPE_BUF bytes whole, at once.
    pollfd room{writer.fd, POLLOUT, 0};
    if (::poll(&room, 1, static_cast<int>(waitMs)) != 1 || !(room.revents & POLLOUT)) return false;
    const ssize_t n = writer.socket ? ::send(writer.fd, bytes.data(), bytes.size(), MSG_DONTWAIT | MSG_NOSIGNAL)
                                    : ::write(writer.fd, bytes.data(), bytes.size());
    return n == static_cast<ssize_t>(bytes.size());
}

intptr_t stopWakeHandle() { return wakePipe[0]; }

bool standardOutputGone() {
    struct stat info {};
    if (::fstat(STDOUT_FILENO, &info) != 0 || !(S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode))) return false;
    // Asked for nothing: only an error or a hang-up is reported.
    pollfd p{STDOUT_FILENO, 0, 0};
    return ::poll(&p, 1, 0) == 1 && (p.revents & (POLLERR | POLLHUP)) != 0;
}

bool standardErrorIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

// A terminal's window belongs to the terminal, not to the program.
void keepWindowUntilEnter() {}

bool standardOutputDelivered(std::string& why) {
    std::cout.flush();
    if (closedAtStart) {
        why = "standard output is closed";
        return false;
    }
    if (std::cout.good()) return true;
    // Its reader had all it wanted; nobody else was to read the rest.
    if (readerGone) return true;
    if (stoppedWhileBlocked)
        why = "stopped while it was not being read; what was not written is lost";
    else
        why = firstError ? std::strerror(firstError) : "write failed";
    return false;
}

}  // namespace webfind
