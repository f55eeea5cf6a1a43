#include "app/system/HostName.h"

#include <sstream>

namespace webfind {

// Each line: an address, then names; comments start with '#'.
std::string qualifiedIn(const std::string& hosts, const std::string& name) {
    std::istringstream lines(hosts);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line.substr(0, line.find('#')));
        std::string address, word, dotted;
        bool names = false;
        if (!(words >> address)) continue;
        while (words >> word) {
            names = names || word == name;
            if (dotted.empty() && word.size() > name.size() + 1 && word.compare(0, name.size() + 1, name + ".") == 0)
                dotted = word;
        }
        if (names && !dotted.empty()) return dotted;
    }
    return "";
}

}  // namespace webfind
