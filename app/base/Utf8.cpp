#include "app/base/Utf8.h"

namespace webfind {

size_t decodeUtf8(const unsigned char* p, size_t left, char32_t& point) {
    // point is written only on success, so a caller's fallback value survives.
    const unsigned char lead = p[0];
    size_t length;
    char32_t value, smallest;
    if (lead < 0x80) {
        point = lead;
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, value = lead & 0x1F, smallest = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, value = lead & 0x0F, smallest = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, value = lead & 0x07, smallest = 0x10000;
    } else {
        return 0;  // a continuation byte, C0/C1 (always overlong), or F5 and above
    }
    if (left < length) return 0;
    for (size_t i = 1; i < length; ++i) {
        if ((p[i] & 0xC0) != 0x80) return 0;
        value = value << 6 | (p[i] & 0x3F);
    }
    if (value < smallest || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
    point = value;
    return length;
}

void appendUtf8(std::string& out, char32_t point) {
    if (point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) point = 0xFFFD;
    if (point < 0x80) {
        out += static_cast<char>(point);
    } else if (point < 0x800) {
        out += static_cast<char>(0xC0 | point >> 6);
        out += static_cast<char>(0x80 | (point & 0x3F));
    } else if (point < 0x10000) {
        out += static_cast<char>(0xE0 | point >> 12);
        out += static_cast<char>(0x80 | (point >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (point & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | point >> 18);
        out += static_cast<char>(0x80 | (point >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (point >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (point & 0x3F));
    }
}

bool validUtf8(const std::string& bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    char32_t point;
    for (size_t at = 0, length; at < bytes.size(); at += length)
        if ((length = decodeUtf8(p + at, bytes.size() - at, point)) == 0) return false;
    return true;
}

std::string withReplacementCharacters(const std::string& bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    std::string text;
    text.reserve(bytes.size());
    char32_t point;
    for (size_t at = 0; at < bytes.size();) {
        size_t length = decodeUtf8(p + at, bytes.size() - at, point);
        if (length == 0) {
            text += "\xEF\xBF\xBD";
            ++at;
        } else {
            text.append(bytes, at, length);
            at += length;
        }
    }
    return text;
}

std::u16string utf16FromUtf8(const std::string& bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    std::u16string text;
    text.reserve(bytes.size());
    char32_t point;
    for (size_t at = 0, length; at < bytes.size(); at += length) {
        length = decodeUtf8(p + at, bytes.size() - at, point);
        if (length == 0) break;  // callers check validUtf8 first
        if (point < 0x10000) {
            text += static_cast<char16_t>(point);
        } else {
            point -= 0x10000;
            text += static_cast<char16_t>(0xD800 + (point >> 10));
            text += static_cast<char16_t>(0xDC00 + (point & 0x3FF));
        }
    }
    return text;
}

std::string utf8FromUtf16(const std::u16string& text) {
    std::string bytes;
    bytes.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t point = text[i];
        const bool high = point >= 0xD800 && point <= 0xDBFF;
        if (high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF)
            point = 0x10000 + ((point - 0xD800) << 10) + (text[++i] - 0xDC00);
        else if (point >= 0xD800 && point <= 0xDFFF)
            point = 0xFFFD;
        appendUtf8(bytes, point);
    }
    return bytes;
}

}  // namespace webfind
