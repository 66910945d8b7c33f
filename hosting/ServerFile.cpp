// Where the server's own file is, found through the dynamic loader.
#include "hosting/ComServ.h"

#include "platform/SysUtils.h"

#include <climits>
#include <cstdlib>
#include <dlfcn.h>

namespace quillax {

// The absolute path by which the library was loaded, with its folder resolved but not its
// own name: loaded through its versioned link (libKemrin_Quillax.so.1), it is registered by
// that link, which stays valid when the file behind it is upgraded.
std::string TComServer::GetServerFileName() const {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&ComServer), &info) == 0 || info.dli_fname == nullptr)
        throw Exception("Cannot find the server's own file");
    const std::string loaded = info.dli_fname;
    const std::size_t slash = loaded.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : loaded.substr(0, slash + 1);
    char resolved[PATH_MAX];
    if (realpath(folder.c_str(), resolved) == nullptr) return loaded;
    const std::string name = slash == std::string::npos ? loaded : loaded.substr(slash + 1);
    const std::string base = resolved;
    return base + (base.ends_with('/') ? "" : "/") + name;
}

// No short form of a path exists here: the full path is written as it is.
std::string RegisteredServerPath(const std::string& path) {
    return path;
}

} // namespace quillax
