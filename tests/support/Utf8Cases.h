// Byte strings that are or are not well-formed UTF-8, for the codec and every reader of text
// built on it: the shortest form of each length and its bounds, and the forms a strict decoder
// refuses (overlong, surrogates, beyond U+10FFFF, cut short, a stray continuation byte), each
// with what the replacing decoder gives (U+FFFD for each byte that starts nothing).
#pragma once

#include <string_view>

namespace quillax::test {

struct TUtf8Case {
    const char* name;
    std::string_view bytes;
    std::u16string_view replaced;
    bool wellFormed;
};

inline constexpr TUtf8Case kUtf8Cases[] = {
    {"ASCII", "Ab~", u"Ab~", true},
    {"two bytes, the first", "\xC2\x80", u"\u0080", true},
    {"two bytes", "\xC3\xA9", u"\u00E9", true},
    {"three bytes", "\xE2\x82\xAC", u"\u20AC", true},
    {"three bytes, last before the surrogates", "\xED\x9F\xBF", u"\uD7FF", true},
    {"four bytes, the first", "\xF0\x90\x80\x80", u"\U00010000", true},
    {"four bytes", "\xF0\x9F\x98\x80", u"\U0001F600", true},
    {"four bytes, U+10FFFF", "\xF4\x8F\xBF\xBF", u"\U0010FFFF", true},
    {"past U+10FFFF", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD", false},
    {"lead byte F5", "\xF5\x80\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD", false},
    {"overlong two bytes", "\xC0\xAF", u"\uFFFD\uFFFD", false},
    {"overlong three bytes", "\xE0\x80\xAF", u"\uFFFD\uFFFD\uFFFD", false},
    {"overlong four bytes, U+FFFF", "\xF0\x8F\xBF\xBF", u"\uFFFD\uFFFD\uFFFD\uFFFD", false},
    {"overlong four bytes, slash", "\xF0\x80\x80\xAF", u"\uFFFD\uFFFD\uFFFD\uFFFD", false},
    {"lone high surrogate", "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD", false},
    {"lone low surrogate", "\xED\xBF\xBF", u"\uFFFD\uFFFD\uFFFD", false},
    {"surrogate pair encoded one by one", "\xED\xA0\xBD\xED\xB8\x80",
     u"\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD", false},
    {"cut short", "a\xE2\x82", u"a\uFFFD\uFFFD", false},
    {"stray continuation", "\x80z", u"\uFFFDz", false},
};

} // namespace quillax::test
