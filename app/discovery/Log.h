#pragma once

#include <ostream>
#include <string>

namespace webfind {

// The verbose log: what a discovery does and why, one "webfind: " line each,
// for people debugging a network. Writes nothing when it has no stream.
class VerboseLog {
public:
    explicit VerboseLog(std::ostream* out = nullptr) : out(out) {}

    bool on() const { return out != nullptr; }
    void note(const std::string& text) const {
        if (out) *out << "webfind: " << text << '\n' << std::flush;
    }

private:
    std::ostream* out;
};

}  // namespace webfind
