// Where the server's own file is: the module that holds this code, by the platform's loader.
#include "hosting/ComServ.h"

#include "platform/AnsiCodePage.h"
#include "platform/SysUtils.h"

#include <vector>

namespace quillax {

namespace {

// The module this code was linked into (the component's DLL, not the host's program).
HMODULE ThisModule() {
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(&ComServer), &module))
        throw Exception("Cannot find the server's own file");
    return module;
}

} // namespace

std::string TComServer::GetServerFileName() const {
    std::vector<wchar_t> path(MAX_PATH);
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(ThisModule(), path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) throw Exception("Cannot find the server's own file");
        if (length < path.size()) return WideToAnsi(path.data(), length);
        path.resize(path.size() * 2);
    }
}

// A path with a space is registered in its short (8.3) form, which needs no quoting.
std::string RegisteredServerPath(const std::string& path) {
    if (path.find(' ') == std::string::npos) return path;
    const OleString wide = AnsiToWide(path);
    const DWORD length = GetShortPathNameW(wide.c_str(), nullptr, 0);
    if (length == 0) return path;
    std::vector<wchar_t> shortPath(length);
    const DWORD written = GetShortPathNameW(wide.c_str(), shortPath.data(), length);
    if (written == 0 || written >= length) return path;
    return WideToAnsi(shortPath.data(), written);
}

} // namespace quillax
