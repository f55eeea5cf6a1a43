#include "app/system/ErrorLog.h"

#include "app/system/Console.h"

namespace webfind {

ErrorLog::ErrorLog(std::string program)
    : program(std::move(program)),
      buffer([this](const std::string& line) { return write(line, 0) || true; }),
      out(&buffer) {}

bool ErrorLog::write(const std::string& line, uint32_t waitMs) {
    if (lost > told) {
        const std::string note = program + ": " + std::to_string(lost - told) + " line" +
                                 (lost - told == 1 ? "" : "s") + " of this log could not be written\n";
        if (!writeErrorWithoutWaiting(note, waitMs)) {
            ++lost;
            return false;
        }
        told = lost;
    }
    if (writeErrorWithoutWaiting(line, waitMs)) return true;
    ++lost;
    return false;
}

void ErrorLog::last(const std::string& line, uint32_t waitMs) {
    out.flush();
    write(line, waitMs);
}

}  // namespace webfind
