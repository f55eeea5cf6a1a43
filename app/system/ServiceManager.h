#pragma once

#include <chrono>
#include <ostream>
#include <string>

namespace webfind {

// What a service manager (systemd) is told of a program that runs as its
// service: that it has started, that it is alive, and a line of status.
// Through libsystemd's sd_notify, loaded at run time only when NOTIFY_SOCKET
// says a manager listens: a run without one, or a system without
// libsystemd, pays nothing and every call does nothing.
class ServiceManager {
public:
    // Reads the environment (NOTIFY_SOCKET, WATCHDOG_USEC, WATCHDOG_PID).
    ServiceManager();

    bool listening() const { return notify != nullptr; }
    // READY=1, with STATUS=.
    void ready(const std::string& status) const;
    // WATCHDOG=1, with STATUS=.
    void alive(const std::string& status) const;
    // The watchdog's timeout the manager set for this process; zero when
    // there is none.
    std::chrono::microseconds watchdog() const { return watchdogTimeout; }
    // Asks for a longer timeout (WATCHDOG_USEC=), for a program whose
    // heartbeats come further apart than the unit expected.
    void extendWatchdog(std::chrono::microseconds timeout) const;

private:
    void send(const std::string& state) const;

    using Notify = int (*)(int unsetEnvironment, const char* state);
    Notify notify = nullptr;
    std::chrono::microseconds watchdogTimeout{0};
};

// How much a line on standard error matters, for the journal.
enum class Priority { ERROR = 3, WARNING = 4, NOTICE = 5 };

// Whether standard error is the journal's stream (JOURNAL_STREAM names its
// device and inode): its lines then carry the journal's priority prefixes.
// Decided once, at start (detectJournal()); false until then.
void detectJournal();
bool journalPrefixes();
void setJournalPrefixes(bool on);  // what detectJournal() decides; for tests

// Writes "<N>", the prefix that gives the line that follows its priority in
// the journal, when standard error is the journal; otherwise nothing.
std::ostream& operator<<(std::ostream& out, Priority priority);
// Each line of `text` with that prefix.
std::string withPriority(Priority priority, const std::string& text);

}  // namespace webfind
