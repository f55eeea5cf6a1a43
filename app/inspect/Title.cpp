#include "app/inspect/Title.h"

#include <cctype>
#include <cstdlib>

#include "app/base/Utf8.h"

namespace webfind {

namespace {

char lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

// Where `tag` ("<title" or "</title") starts at or after `from`, as a whole
// tag name, any case; npos when nowhere.
size_t findTag(const std::string& html, const std::string& tag, size_t from) {
    for (size_t at = from; at + tag.size() <= html.size(); ++at) {
        size_t i = 0;
        while (i < tag.size() && lower(html[at + i]) == tag[i]) ++i;
        if (i < tag.size()) continue;
        const size_t after = at + tag.size();
        if (after == html.size() || html[after] == '>' || std::isspace(static_cast<unsigned char>(html[after])) ||
            html[after] == '/')
            return at;
    }
    return std::string::npos;
}

// A numeric reference's character: NUL and what is no character are U+FFFD,
// as a browser shows them.
void appendCharacter(std::string& out, unsigned long point) {
    appendUtf8(out, point == 0 || point > 0x10FFFF ? 0xFFFD : static_cast<char32_t>(point));
}

// The character reference at `at` ('&'): appended decoded, returning its
// length; 0 when it is none this reader knows (the '&' stays as it is).
size_t reference(const std::string& text, size_t at, std::string& out) {
    static const struct {
        const char* name;
        unsigned long point;
    } named[] = {{"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}, {"nbsp", 0xA0}};
    const size_t semicolon = text.find(';', at);
    if (semicolon == std::string::npos || semicolon - at > 10) return 0;
    const std::string body = text.substr(at + 1, semicolon - at - 1);
    if (body.size() > 1 && body[0] == '#') {
        const bool hex = body[1] == 'x' || body[1] == 'X';
        const std::string digits = body.substr(hex ? 2 : 1);
        if (digits.empty()) return 0;
        char* end = nullptr;
        unsigned long point = std::strtoul(digits.c_str(), &end, hex ? 16 : 10);
        if (*end) return 0;
        appendCharacter(out, point);
        return semicolon - at + 1;
    }
    for (const auto& n : named)
        if (body == n.name) {
            appendCharacter(out, n.point);
            return semicolon - at + 1;
        }
    return 0;
}

}  // namespace

bool pageTitle(const std::string& html, std::string& title) {
    const size_t open = findTag(html, "<title", 0);
    if (open == std::string::npos) return false;
    const size_t start = html.find('>', open);
    if (start == std::string::npos) return false;
    size_t end = findTag(html, "</title", start + 1);
    if (end == std::string::npos) end = html.size();  // cut short: what there is
    const std::string raw = html.substr(start + 1, end - start - 1);
    std::string decoded;
    for (size_t i = 0; i < raw.size();) {
        size_t used = raw[i] == '&' ? reference(raw, i, decoded) : 0;
        if (used == 0)
            decoded += raw[i++];
        else
            i += used;
    }
    title.clear();
    bool space = false;
    for (char c : decoded) {
        // White space, the no-break space's bytes aside, becomes one space.
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f') {
            space = !title.empty();
            continue;
        }
        if (space) title += ' ';
        space = false;
        title += c;
    }
    if (title.size() > MAX_TITLE_BYTES) {
        size_t cut = MAX_TITLE_BYTES;
        while (cut > 0 && (static_cast<unsigned char>(title[cut]) & 0xC0) == 0x80) --cut;
        title.resize(cut);
    }
    return true;
}

}  // namespace webfind
