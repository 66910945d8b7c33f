// Where the server's own file is, found through the dynamic loader.
#include "hosting/ComServ.h"

#include "platform/SysUtils.h"

#include <climits>
#include <cstdlib>
#include <dlfcn.h>

namespace quillax {

std::string TComServer::GetServerFileName() const {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&ComServer), &info) == 0 || info.dli_fname == nullptr)
        throw Exception("Cannot find the server's own file");
    char resolved[PATH_MAX];
    if (realpath(info.dli_fname, resolved) == nullptr) return info.dli_fname;
    return resolved;
}

// No short form of a path exists here: the full path is written as it is.
std::string RegisteredServerPath(const std::string& path) {
    return path;
}

} // namespace quillax
