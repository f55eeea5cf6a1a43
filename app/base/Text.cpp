#include "app/base/Text.h"

#include "app/base/Utf8.h"

#include <cstdio>
#include <cstring>
#include <ctime>

namespace webfind {

bool terminalControl(char32_t point) {
    return point < 0x20 || (point >= 0x7F && point <= 0x9F) || (point >= 0x202A && point <= 0x202E) ||
           (point >= 0x2066 && point <= 0x2069);
}

namespace {

void escapeByte(std::string& out, unsigned char c) {
    out += "\\x";
    out += hexDigit(c >> 4);
    out += hexDigit(c);
}

}  // namespace

std::string escapeForTerminal(const std::string& text) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    std::string safe;
    safe.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = bytes[i];
        char32_t point = c;
        size_t length = c < 0x80 ? 1 : decodeUtf8(bytes + i, text.size() - i, point);
        if (length == 0) {
            // Not UTF-8: the byte alone; among such bytes 0x80-0x9F are C1 controls.
            length = 1;
            point = c;
        }
        // A backslash before an x is escaped too, so that every \x in the
        // output is one of ours: a device cannot fake an escape, and the
        // line can be read back to the exact bytes.
        const bool fakeEscape = c == '\\' && i + 1 < text.size() && text[i + 1] == 'x';
        if (terminalControl(point) || fakeEscape) {
            for (size_t k = 0; k < length; ++k) escapeByte(safe, bytes[i + k]);
        } else {
            safe.append(text, i, length);
        }
        i += length;
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

std::vector<std::string> splitWords(const std::string& line) {
    std::vector<std::string> words;
    bool inWord = false, quoted = false;
    for (char c : line) {
        if (c == '"') {
            quoted = !quoted;
            if (!inWord) words.emplace_back();
            inWord = true;
        } else if (!quoted && (c == ' ' || c == '\t')) {
            inWord = false;
        } else {
            if (!inWord) words.emplace_back();
            inWord = true;
            words.back() += c;
        }
    }
    return words;
}

}  // namespace webfind
