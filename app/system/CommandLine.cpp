#include "app/system/CommandLine.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>

namespace webfind {

std::vector<std::string> longOptionNames(const option* table) {
    std::vector<std::string> names;
    for (const option* o = table; o->name; ++o) names.push_back(o->name);
    return names;
}

bool wholeNumber(const char* text, long low, long high, long& value) {
    if (!std::isdigit(static_cast<unsigned char>(*text))) return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtol(text, &end, 10);
    return !errno && *text && !*end && value >= low && value <= high;
}

std::string getoptProblem(int c, char** argv) {
    if (c == ':') return std::string("option '") + argv[optind - 1] + "' needs a value";
    const std::string given = optopt && optopt < 256 ? std::string("-") + static_cast<char>(optopt) : argv[optind - 1];
    return "unknown option '" + given + "'";
}

}  // namespace webfind
