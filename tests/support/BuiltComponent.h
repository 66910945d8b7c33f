// The build as the tests find it: programs and the component at the top of the build folder,
// the test programs in its bin/ folder; the component loaded once per test program, as
// `quillax` loads it, and a Response that keeps the body only.
#pragma once

#include "apps/page/ComponentHost.h"

#include <climits>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace quillax::test {

inline std::filesystem::path BuildFolder() {
    char self[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    return std::filesystem::path(std::string(self, length > 0 ? length : 0))
        .parent_path()
        .parent_path();
}

inline std::string BuiltComponentPath() {
    return (BuildFolder() / "libKemrin_Quillax.so").string();
}

// Raises Exception, naming the path, when the component was not built: a test that needs it
// fails rather than vanishing.
inline const host::TComponentLibrary& BuiltComponent() {
    static const host::TComponentLibrary library(BuiltComponentPath());
    return library;
}

// The bytes a page's ShowBarcode sends; every Response call succeeds.
class TBodySink final : public host::TResponseSink {
public:
    HRESULT Expires(LONG) override { return S_OK; }
    HRESULT AddHeader(const std::string&, const std::string&) override { return S_OK; }
    HRESULT ContentType(const std::string&) override { return S_OK; }
    HRESULT BinaryWrite(std::span<const BYTE> bytes) override {
        body.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        return S_OK;
    }
    HRESULT Flush() override { return S_OK; }
    std::string body;
};

} // namespace quillax::test
