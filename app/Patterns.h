#pragma once

#include <string>
#include <vector>

#include "app/Run.h"

namespace webfind {

// True when `name` contains at least one of `patterns`, ignoring the case of
// ASCII letters (other bytes, UTF-8 letters included, must match exactly);
// true for every name when there is no pattern.
bool nameMatches(const std::string& name, const std::vector<std::string>& patterns);

// The devices whose names match.
DeviceTable matching(const DeviceTable& devices, const std::vector<std::string>& patterns);

}  // namespace webfind
