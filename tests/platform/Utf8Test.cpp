// The one UTF-8 codec: well-formed text round-trips; every malformed form is refused by the
// strict calls and becomes U+FFFD (one per byte that starts nothing) in the replacing ones.
#include "platform/Utf8.h"
#include "tests/support/Utf8Cases.h"

#include <gtest/gtest.h>

namespace {

using namespace quillax;

TEST(Utf8, DecodesWellFormedTextAndRefusesEveryMalformedForm) {
    for (const test::TUtf8Case& row : test::kUtf8Cases) {
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
