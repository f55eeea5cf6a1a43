#include "app/desktop/Opener.h"

#include <sstream>

namespace webfind {

namespace {

// One BROWSER entry as a command for `url`.
std::vector<std::string> browserCommand(const std::string& entry, const std::string& url) {
    std::vector<std::string> words;
    bool urlPlaced = false;
    std::istringstream split(entry);
    for (std::string word; split >> word;) {
        std::string expanded;
        for (size_t i = 0; i < word.size(); ++i) {
            if (word[i] == '%' && i + 1 < word.size() && word[i + 1] == 's') {
                expanded += url;
                urlPlaced = true;
                ++i;
            } else if (word[i] == '%' && i + 1 < word.size() && word[i + 1] == '%') {
                expanded += '%';
                ++i;
            } else {
                expanded += word[i];
            }
        }
        words.push_back(expanded);
    }
    if (!words.empty() && !urlPlaced) words.push_back(url);
    return words;
}

}  // namespace

std::vector<std::vector<std::string>> openerCommands(const std::string& url, const char* browser, bool wsl,
                                                     const char* systemOpener) {
    std::vector<std::vector<std::string>> commands;
    if (browser) {
        std::istringstream entries(browser);
        for (std::string entry; std::getline(entries, entry, ':');) {
            std::vector<std::string> command = browserCommand(entry, url);
            if (!command.empty()) commands.push_back(command);
        }
    }
    if (wsl) commands.push_back({"wslview", url});
    commands.push_back({systemOpener, url});
    return commands;
}

}  // namespace webfind
