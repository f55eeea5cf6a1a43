#pragma once

#include <cstdint>
#include <ostream>
#include <string>

#include "app/system/OutputBuffers.h"

namespace webfind {

// Lines for people on standard error, as a long-running program writes
// them: each line is written whole if that can be done at once and dropped
// otherwise (a pipe nobody reads, a stopped terminal, a full disk), so that
// no line ever holds the program up. How many were dropped is said before
// the next line that goes through: "<program>: N lines of this log could
// not be written".
class ErrorLog {
public:
    explicit ErrorLog(std::string program);
    ErrorLog(const ErrorLog&) = delete;
    ErrorLog& operator=(const ErrorLog&) = delete;

    std::ostream& stream() { return out; }
    uint64_t dropped() const { return lost; }
    // A last line (a summary at exit), which may wait up to `waitMs` for room.
    void last(const std::string& line, uint32_t waitMs);

private:
    bool write(const std::string& line, uint32_t waitMs);

    const std::string program;
    uint64_t lost = 0;
    uint64_t told = 0;  // of those lost, already said
    LineBuffer buffer;
    std::ostream out;
};

}  // namespace webfind
