#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

#include "app/system/Spawn.h"

extern char** environ;

namespace webfind {

namespace {

#ifdef POSIX_SPAWN_SETSID
constexpr short NEW_SESSION = POSIX_SPAWN_SETSID;
#else
constexpr short NEW_SESSION = 0;
#endif

// Every descriptor above 2 closed in the child, whatever its close-on-exec
// flag: a socket or file of ours must never live on in a browser.
#ifdef WEBFIND_HAVE_ADDCLOSEFROM
void closeTheRest(posix_spawn_file_actions_t* actions) { posix_spawn_file_actions_addclosefrom_np(actions, 3); }
#else
// Without it, our descriptors are all created close-on-exec.
void closeTheRest(posix_spawn_file_actions_t*) {}
#endif

// The attributes and file actions of one spawn, released when it goes.
struct SpawnSetup {
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_t actions;

    explicit SpawnSetup(const SpawnOptions& options) {
        posix_spawnattr_init(&attributes);
        sigset_t defaults;
        sigemptyset(&defaults);
        sigaddset(&defaults, SIGCHLD);
        sigaddset(&defaults, SIGPIPE);
        posix_spawnattr_setsigdefault(&attributes, &defaults);
        posix_spawnattr_setflags(&attributes,
                                 static_cast<short>(POSIX_SPAWN_SETSIGDEF | (options.newSession ? NEW_SESSION : 0)));
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        if (options.output >= 0)
            posix_spawn_file_actions_adddup2(&actions, options.output, 1);
        else
            posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        closeTheRest(&actions);
    }
    ~SpawnSetup() {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;
};

}  // namespace

Child& Child::operator=(Child&& other) noexcept {
    pid = other.pid;
    status = other.status;
    other.pid = -1;
    return *this;
}

bool Child::ended() {
    if (pid <= 0) return true;
    int got = 0;
    pid_t r = ::waitpid(pid, &got, WNOHANG);
    if (r == 0) return false;
    status = r == pid ? got : -1;
    pid = -1;
    return true;
}

int Child::wait() {
    if (pid <= 0) return status;
    int got = 0;
    pid_t r;
    while ((r = ::waitpid(pid, &got, 0)) < 0 && errno == EINTR) {
    }
    status = r == pid ? got : -1;
    pid = -1;
    return status;
}

void Child::kill() {
    if (pid > 0) ::kill(pid, SIGKILL);
}

bool Child::succeeded() const { return pid <= 0 && status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0; }

bool spawn(const std::vector<std::string>& argv, const SpawnOptions& options, Child& child, std::string& why) {
    if (argv.empty()) {
        why = "nothing to run";
        return false;
    }
    std::vector<std::string> words = argv;
    std::vector<char*> args;
    for (std::string& word : words) args.push_back(&word[0]);
    args.push_back(nullptr);
    SpawnSetup setup(options);
    pid_t pid = 0;
    int result = ::posix_spawnp(&pid, args[0], &setup.actions, &setup.attributes, args.data(), environ);
    if (result != 0) {
        why = std::strerror(result);
        return false;
    }
    child = Child(pid);
    return true;
}

bool commandOutput(const std::vector<std::string>& argv, std::string& output, std::chrono::milliseconds timeout,
                   size_t limit) {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) return false;
    UniqueFd readEnd(ends[0]), writeEnd(ends[1]);
    SpawnOptions options;
    options.output = writeEnd.get();
    Child child;
    std::string why;
    bool started = spawn(argv, options, child, why);
    writeEnd.reset();
    if (!started) return false;
    output.clear();
    char chunk[4096];
    bool timedOut = false;
    for (;;) {
        pollfd p{readEnd.get(), POLLIN, 0};
        int ready = ::poll(&p, 1, static_cast<int>(timeout.count()));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) {
            timedOut = ready == 0;
            break;
        }
        ssize_t n = ::read(readEnd.get(), chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        if (output.size() < limit) output.append(chunk, static_cast<size_t>(n));
    }
    readEnd.reset();
    if (timedOut) child.kill();
    child.wait();
    return !timedOut && child.succeeded();
}

}  // namespace webfind
