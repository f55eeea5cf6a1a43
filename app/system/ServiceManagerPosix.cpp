#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "app/system/ServiceManager.h"

namespace webfind {

ServiceManager::ServiceManager() {
    const char* socket = std::getenv("NOTIFY_SOCKET");
    if (!socket || !*socket) return;
    // The watchdog is this process's when WATCHDOG_PID is unset or names it.
    const char* pid = std::getenv("WATCHDOG_PID");
    const char* usec = std::getenv("WATCHDOG_USEC");
    if (usec && (!pid || std::strtol(pid, nullptr, 10) == static_cast<long>(::getpid())))
        watchdogTimeout = std::chrono::microseconds(std::strtoull(usec, nullptr, 10));
    static void* const library = ::dlopen("libsystemd.so.0", RTLD_NOW | RTLD_LOCAL);
    if (library) notify = reinterpret_cast<Notify>(::dlsym(library, "sd_notify"));
}

void detectJournal() {
    const char* stream = std::getenv("JOURNAL_STREAM");
    struct stat st {};
    if (!stream || ::fstat(STDERR_FILENO, &st) != 0) return;
    const std::string expected = std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
    setJournalPrefixes(expected == stream);
}

}  // namespace webfind
