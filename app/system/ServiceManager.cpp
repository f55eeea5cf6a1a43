#include "app/system/ServiceManager.h"

#include <atomic>

namespace webfind {

namespace {

std::atomic<bool> toJournal{false};

}  // namespace

bool journalPrefixes() { return toJournal; }

void setJournalPrefixes(bool on) { toJournal = on; }

std::ostream& operator<<(std::ostream& out, Priority priority) {
    if (toJournal) out << '<' << static_cast<int>(priority) << '>';
    return out;
}

std::string withPriority(Priority priority, const std::string& text) {
    if (!toJournal) return text;
    const std::string prefix = "<" + std::to_string(static_cast<int>(priority)) + ">";
    std::string lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end + 1;
        lines += prefix + text.substr(start, end - start);
        start = end;
    }
    return lines;
}

void ServiceManager::ready(const std::string& status) const { send("READY=1\nSTATUS=" + status); }

void ServiceManager::alive(const std::string& status) const { send("WATCHDOG=1\nSTATUS=" + status); }

void ServiceManager::extendWatchdog(std::chrono::microseconds timeout) const {
    send("WATCHDOG_USEC=" + std::to_string(timeout.count()));
}

void ServiceManager::send(const std::string& state) const {
    if (notify) notify(0, state.c_str());
}

}  // namespace webfind
