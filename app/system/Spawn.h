#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

#include "app/system/UniqueFd.h"

namespace webfind {

// A child process, started by spawn(). It is not waited for when the object
// goes: a child we never wait for (a browser) lives on, and is reaped by
// whoever inherits it once we exit.
class Child {
public:
    Child() = default;
    explicit Child(pid_t pid) : pid(pid) {}
    Child(Child&& other) noexcept : pid(other.pid), status(other.status) { other.pid = -1; }
    Child& operator=(Child&& other) noexcept;
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    bool running() const { return pid > 0; }
    // Reaps it when it has ended, without waiting; true once it has.
    bool ended();
    // Waits for it to end; its wait status.
    int wait();
    // Asks it to end at once (SIGKILL).
    void kill();
    // Once ended: true when it exited with status 0.
    bool succeeded() const;

private:
    pid_t pid = -1;
    int status = -1;
};

struct SpawnOptions {
    // Where its standard output goes: this descriptor, or /dev/null.
    int output = -1;
    // A session of its own: a text-mode program it may start can never take
    // over our terminal.
    bool newSession = false;
};

// Starts `argv` (PATH searched, no shell) with standard input and error on
// /dev/null, no descriptor of ours beyond 0-2, and SIGCHLD at its default.
// False, with the reason, when it could not be started.
bool spawn(const std::vector<std::string>& argv, const SpawnOptions& options, Child& child, std::string& why);

// Runs `argv` and takes its standard output, at most `limit` bytes and
// `timeout` long: a tool that hangs must not hang us. True when it ran to
// the end and exited with status 0.
bool commandOutput(const std::vector<std::string>& argv, std::string& output,
                   std::chrono::milliseconds timeout = std::chrono::seconds(2), size_t limit = 1 << 20);

}  // namespace webfind
