#include "app/discovery/Filter.h"

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

bool DeviceFilter::keeps(const std::string& name) const {
    if (patterns.empty()) return true;
    for (const std::string& p : patterns)
        if (containsIgnoringCase(name, p)) return true;
    return false;
}

}  // namespace webfind
