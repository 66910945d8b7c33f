// What a host of the component needs, in one include: the library loaded by path, the host's
// Response objects, late-bound calls as a script host makes them, and the page seam that
// every host runs its pages through.
#pragma once

#include "apps/page/BarcodePage.h"
#include "apps/page/ComponentLibrary.h"
#include "apps/page/HostResponse.h"
#include "apps/page/LateBound.h"
#include "apps/page/UsageError.h"
#include "platform/Utf8.h"

namespace quillax::host {

// Text of the host (UTF-8) as a wide string and back, by the platform's one codec: what is
// not well-formed becomes U+FFFD.
inline std::u16string Utf8ToWide(std::string_view text) {
    return Utf8ToUtf16Replacing(text);
}
inline std::string WideToUtf8(std::u16string_view text) {
    return Utf16ToUtf8Replacing(text);
}

} // namespace quillax::host
