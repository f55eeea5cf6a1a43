#pragma once

#include <string>
#include <vector>

namespace webfind {

// The devices a run is about: those whose name contains at least one of the
// patterns, ignoring the case of ASCII letters (other bytes, UTF-8 letters
// included, must match exactly); every device when there is no pattern.
// The one filter of the single run, --first and watch alike.
class DeviceFilter {
public:
    DeviceFilter() = default;
    explicit DeviceFilter(std::vector<std::string> patterns) : patterns(std::move(patterns)) {}

    bool keeps(const std::string& name) const;
    // True when some devices may be left out.
    bool selective() const { return !patterns.empty(); }

private:
    std::vector<std::string> patterns;
};

}  // namespace webfind
