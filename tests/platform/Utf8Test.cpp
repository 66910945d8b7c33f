// The one UTF-8 codec: well-formed text round-trips; every malformed form is refused by the
// strict calls and becomes U+FFFD (one per byte that starts nothing) in the replacing ones.
#include "platform/Utf8.h"

#include <gtest/gtest.h>

namespace {

using namespace quillax;

TEST(Utf8, DecodesWellFormedTextAndRefusesEveryMalformedForm) {
    const struct {
        const char* name;
        std::string bytes;
        std::u16string replaced; // what the replacing decoder gives
        bool wellFormed;
    } rows[] = {
        {"ASCII", "Ab~", u"Ab~", true},
        {"two bytes", "\xC3\xA9", u"\u00E9", true},
        {"three bytes", "\xE2\x82\xAC", u"\u20AC", true},
        {"four bytes", "\xF0\x9F\x98\x80", u"\U0001F600", true},
        {"U+10FFFF", "\xF4\x8F\xBF\xBF", u"\U0010FFFF", true},
        {"past U+10FFFF", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD", false},
        {"overlong two bytes", "\xC0\xAF", u"\uFFFD\uFFFD", false},
        {"overlong three bytes", "\xE0\x80\xAF", u"\uFFFD\uFFFD\uFFFD", false},
        {"overlong four bytes", "\xF0\x80\x80\xAF", u"\uFFFD\uFFFD\uFFFD\uFFFD", false},
        {"encoded surrogate", "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD", false},
        {"truncated", "a\xE2\x82", u"a\uFFFD\uFFFD", false},
        {"stray continuation", "\x80z", u"\uFFFDz", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(IsUtf8(row.bytes), row.wellFormed);
        EXPECT_EQ(Utf8ToUtf16(row.bytes).has_value(), row.wellFormed);
        EXPECT_EQ(Utf8ToUtf16Replacing(row.bytes), row.replaced);
        if (row.wellFormed) {
            EXPECT_EQ(Utf16ToUtf8(row.replaced), row.bytes);
        }
    }
}

TEST(Utf8, RefusesOrReplacesALoneSurrogate) {
    for (const std::u16string& lone : {std::u16string(u"a\xD800"), std::u16string(u"\xDC00z")}) {
        EXPECT_FALSE(Utf16ToUtf8(lone));
        EXPECT_NE(Utf16ToUtf8Replacing(lone).find("\xEF\xBF\xBD"), std::string::npos);
    }
}

} // namespace
