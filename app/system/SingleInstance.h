#pragma once

#include <cstdint>
#include <string>

namespace webfind {

// The one place on this host (its network, on Linux) for a program of a
// name: while an object holds it, no other process takes it. On Linux an
// abstract socket (its own network namespace's, gone with the process),
// on Windows a named mutex.
class SingleInstance {
public:
    SingleInstance() = default;
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // Takes the place for `name`. False when another process holds it, with
    // `holder` naming that process where the system tells ("pid 4242"),
    // empty otherwise. Where the system offers no such place, true.
    bool take(const std::string& name, std::string& holder);

private:
    intptr_t handle = -1;
};

}  // namespace webfind
