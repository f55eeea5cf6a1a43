#pragma once

// The options of a command line given as words after "webfind".

#include <string>
#include <vector>

#include "app/cli/Options.h"

namespace webfind {

inline Options parse(const std::vector<std::string>& args, const char* environmentPort = nullptr) {
    std::vector<std::string> storage{"webfind"};
    storage.insert(storage.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& s : storage) argv.push_back(&s[0]);
    argv.push_back(nullptr);
    return parseOptions(static_cast<int>(storage.size()), argv.data(), environmentPort);
}

}  // namespace webfind
