#include "app/Patterns.h"

#include <algorithm>

namespace webfind {

namespace {

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool containsIgnoringCase(const std::string& text, const std::string& part) {
    auto found = std::search(text.begin(), text.end(), part.begin(), part.end(),
                             [](char a, char b) { return lower(a) == lower(b); });
    return found != text.end() || part.empty();
}

}  // namespace

bool nameMatches(const std::string& name, const std::vector<std::string>& patterns) {
    if (patterns.empty()) return true;
    for (const std::string& p : patterns)
        if (containsIgnoringCase(name, p)) return true;
    return false;
}

DeviceTable matching(const DeviceTable& devices, const std::vector<std::string>& patterns) {
    if (patterns.empty()) return devices;
    DeviceTable kept;
    for (const auto& device : devices)
        if (nameMatches(device.second.first, patterns)) kept.insert(kept.end(), device);
    return kept;
}

}  // namespace webfind
