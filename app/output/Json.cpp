#include "app/output/Json.h"

#include "app/base/Text.h"
#include "app/base/Utf8.h"

namespace webfind {

namespace {

void escapePoint(std::string& out, char32_t point) {
    switch (point) {
    case '"': out += "\\\""; return;
    case '\\': out += "\\\\"; return;
    case '\b': out += "\\b"; return;
    case '\f': out += "\\f"; return;
    case '\n': out += "\\n"; return;
    case '\r': out += "\\r"; return;
    case '\t': out += "\\t"; return;
    default: break;
    }
    static const char hex[] = "0123456789abcdef";
    out += "\\u";
    for (int shift = 12; shift >= 0; shift -= 4) out += hex[(point >> shift) & 0xF];
}

}  // namespace

std::string jsonString(const std::string& text) {
    const std::string valid = withReplacementCharacters(text);
    const auto* bytes = reinterpret_cast<const unsigned char*>(valid.data());
    std::string out = "\"";
    out.reserve(valid.size() + 2);
    for (size_t i = 0; i < valid.size();) {
        char32_t point = bytes[i];
        size_t length = bytes[i] < 0x80 ? 1 : decodeUtf8(bytes + i, valid.size() - i, point);
        // DEL is no JSON control: it stays, as JSON writers leave it.
        if (point == '"' || point == '\\' || (terminalControl(point) && point != 0x7F))
            escapePoint(out, point);
        else
            out.append(valid, i, length);
        i += length;
    }
    out += '"';
    return out;
}

}  // namespace webfind
