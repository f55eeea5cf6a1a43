#include "app/base/PathList.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace webfind {

namespace {

std::string folded(std::string folder) {
    while (!folder.empty() && (folder.back() == '\\' || folder.back() == '/')) folder.pop_back();
    std::transform(folder.begin(), folder.end(), folder.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return folder;
}

std::vector<std::string> entries(const std::string& list) {
    std::vector<std::string> found;
    size_t start = 0;
    for (size_t end; (end = list.find(';', start)) != std::string::npos; start = end + 1)
        found.push_back(list.substr(start, end - start));
    found.push_back(list.substr(start));
    return found;
}

}  // namespace

std::string withFolder(const std::string& list, const std::string& folder) {
    const std::string wanted = folded(folder);
    for (const std::string& e : entries(list))
        if (folded(e) == wanted) return list;
    if (list.empty()) return folder;
    return list + (list.back() == ';' ? "" : ";") + folder;
}

std::string withoutFolder(const std::string& list, const std::string& folder) {
    const std::string unwanted = folded(folder);
    std::string kept;
    bool first = true;
    for (const std::string& e : entries(list)) {
        if (!unwanted.empty() && folded(e) == unwanted) continue;
        kept += (first ? "" : ";") + e;
        first = false;
    }
    return kept;
}

}  // namespace webfind
