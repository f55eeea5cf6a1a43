#pragma once

#include <cstddef>
#include <string>

namespace webfind {

// Names and URLs arrive as bytes. Where a platform wants text (a Windows
// console, the Windows shell), bytes that are UTF-8 are converted as UTF-8.

// The well-formed UTF-8 sequence at `p` (with `left` bytes to go): its
// length, with its code point in `point`; 0 when there is none there.
size_t decodeUtf8(const unsigned char* p, size_t left, char32_t& point);

// Appends `point` as UTF-8; a surrogate or a value above U+10FFFF becomes
// U+FFFD.
void appendUtf8(std::string& out, char32_t point);

// True when `bytes` is well-formed UTF-8: shortest forms only, no surrogate
// code points, nothing above U+10FFFF.
bool validUtf8(const std::string& bytes);

// `bytes` with each sequence that is not well-formed UTF-8 replaced by U+FFFD
// (one for each byte that cannot start a sequence or ends one early).
std::string withReplacementCharacters(const std::string& bytes);

// The UTF-16 code units of `bytes`, which must be well-formed UTF-8.
std::u16string utf16FromUtf8(const std::string& bytes);

// The UTF-8 bytes of UTF-16 `text`; a surrogate without its pair becomes
// U+FFFD.
std::string utf8FromUtf16(const std::u16string& text);

#ifdef _WIN32
// The same for Windows' wide strings, whose wchar_t is a UTF-16 code unit.
inline std::wstring wideFromUtf8(const std::string& bytes) {
    const std::u16string units = utf16FromUtf8(bytes);
    return std::wstring(units.begin(), units.end());
}
inline std::string utf8FromWide(const std::wstring& text) {
    return utf8FromUtf16(std::u16string(text.begin(), text.end()));
}
#endif

}  // namespace webfind
