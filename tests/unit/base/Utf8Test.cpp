// UTF-8: what is well-formed, and the conversions to and from UTF-16 that
// Windows' text takes.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/base/Utf8.h"

using namespace webfind;

TEST(Utf8, AcceptsWellFormedText) {
    for (const char* text : {"", "plain ASCII", "Caf\xC3\xA9", "\xE2\x82\xAC 5", "\xF0\x9F\x93\xB7 camera",
                             "\xEF\xBF\xBF", "\xF4\x8F\xBF\xBF", "\xED\x9F\xBF"})
        EXPECT_TRUE(validUtf8(text)) << text;
}

TEST(Utf8, RejectsWhatIsNotUtf8) {
    const std::vector<std::string> bad = {
        "\xFF",              // never a UTF-8 byte
        "\xE9t\xE9",         // Latin-1 text
        "\xC3",              // cut short
        "\xE2\x82",          // cut short
        "\xA9",              // continuation without a lead
        "\xC0\xAF",          // overlong "/"
        "\xE0\x80\xAF",      // overlong "/"
        "\xF0\x82\x82\xAC",  // overlong euro sign
        "\xED\xA0\x80",      // a surrogate
        "\xF4\x90\x80\x80",  // above U+10FFFF
        "\xC3(",             // lead followed by a non-continuation
        std::string("ok\xC3", 3),
    };
    for (const std::string& text : bad) EXPECT_FALSE(validUtf8(text)) << testing::PrintToString(text);
    // A failed decode leaves the caller's value alone: a half-read lead must
    // not pass for U+0000 in the terminal rules.
    for (const std::string& text : bad) {
        char32_t point = U'?';
        const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
        if (!text.empty() && decodeUtf8(bytes, text.size(), point) == 0) {
            EXPECT_EQ(point, U'?') << testing::PrintToString(text);
        }
    }
}

TEST(Utf8, ConvertsToUtf16WithSurrogatePairs) {
    EXPECT_EQ(utf16FromUtf8("http://host/\xC3\xA9"), u"http://host/\u00E9");
    EXPECT_EQ(utf16FromUtf8("\xE2\x82\xAC"), u"\u20AC");
    EXPECT_EQ(utf16FromUtf8("\xF0\x9F\x93\xB7!"), std::u16string(u"\xD83D\xDCF7!"));
    EXPECT_EQ(utf16FromUtf8(std::string("a\0b", 3)), std::u16string(u"a\0b", 3));
}

TEST(Utf8, ConvertsFromUtf16AndReplacesALoneSurrogate) {
    for (const char* text :
         {"", "plain", "Caf\xC3\xA9", "\xE2\x82\xAC 5", "\xF0\x9F\x93\xB7 camera", "\xF4\x8F\xBF\xBF"})
        EXPECT_EQ(utf8FromUtf16(utf16FromUtf8(text)), text) << text;
    EXPECT_EQ(utf8FromUtf16(std::u16string{u'a', 0xD800, u'b'}),
              "a\xEF\xBF\xBD"
              "b");
    EXPECT_EQ(utf8FromUtf16(std::u16string{0xDC00}), "\xEF\xBF\xBD");
    EXPECT_EQ(utf8FromUtf16(std::u16string{0xD83D}), "\xEF\xBF\xBD") << "a high surrogate at the end";
}
