#include "app/base/Text.h"

#include <cstdio>
#include <cstring>
#include <ctime>

namespace webfind {

std::string escapeForTerminal(const std::string& text) {
    std::string safe;
    safe.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        // A backslash before an x is escaped too, so that every \x in the
        // output is one of ours: a device cannot fake an escape, and the
        // line can be read back to the exact bytes.
        bool fakeEscape = c == '\\' && i + 1 < text.size() && text[i + 1] == 'x';
        if (c < 0x20 || c == 0x7F || fakeEscape) {
            safe += "\\x";
            safe += hexDigit(c >> 4);
            safe += hexDigit(c);
        } else {
            safe += static_cast<char>(c);
        }
    }
    return safe;
}

bool safeToOpen(const std::string& url) {
    for (unsigned char c : url) {
        if (c < 0x21 || c == 0x7F) return false;
        if (c < 0x80 && std::strchr("\"<>\\^`{|}", c)) return false;
    }
    return true;
}

std::string rfc3339(std::chrono::system_clock::time_point when) {
    using namespace std::chrono;
    const auto sinceEpoch = duration_cast<milliseconds>(when.time_since_epoch());
    const std::time_t seconds = static_cast<std::time_t>(duration_cast<std::chrono::seconds>(sinceEpoch).count());
    const long millis = static_cast<long>(sinceEpoch.count() % 1000);
    std::tm utc = *std::gmtime(&seconds);
    char text[64];  // room for any year an int can hold
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03ldZ", utc.tm_year + 1900, utc.tm_mon + 1,
                  utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, millis);
    return text;
}

std::string localTime(std::chrono::system_clock::time_point when) {
    std::time_t t = std::chrono::system_clock::to_time_t(when);
    char text[64];
    if (!std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S %z", std::localtime(&t))) return rfc3339(when);
    return text;
}

std::string clockTime(std::chrono::system_clock::time_point when) {
    std::time_t t = std::chrono::system_clock::to_time_t(when);
    char text[16];
    if (!std::strftime(text, sizeof text, "%H:%M:%S", std::localtime(&t))) return "--:--:--";
    return text;
}

}  // namespace webfind
