// The component of this build, loaded once per test program as `quillax` loads it.
#pragma once

#include "apps/ComponentHost.h"

#include <climits>
#include <filesystem>
#include <unistd.h>

namespace quillax::clitest {

// The component sits at the top of the build folder, the tests in its bin/ folder.
inline const host::TComponentLibrary& BuiltComponent() {
    static const host::TComponentLibrary library([] {
        char self[PATH_MAX];
        const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
        return (std::filesystem::path(std::string(self, length > 0 ? length : 0))
                    .parent_path()
                    .parent_path() /
                "libKemrin_Quillax.so")
            .string();
    }());
    return library;
}

} // namespace quillax::clitest
