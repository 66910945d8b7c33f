// Statuses in test failures: compared as hex text, so a failure prints 0x8000FFFF on both
// sides rather than -2147418113.
#pragma once

#include "platform/ComBase.h"

#include <cstdio>
#include <string>

namespace quillax::test {

inline std::string Hex(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
    return text;
}

} // namespace quillax::test

#define EXPECT_HR(expected, actual)                                                                \
    EXPECT_EQ(::quillax::test::Hex(expected), ::quillax::test::Hex(actual))
#define ASSERT_HR(expected, actual)                                                                \
    ASSERT_EQ(::quillax::test::Hex(expected), ::quillax::test::Hex(actual))
