// Font files shipped beside the component's own file: the faces that the Linux build's
// fontconfig picks, so that both draw the same pixels. "Arial" (and its metric-compatible
// Liberation Sans) is LiberationSans-Regular.ttf, "OCR B" OCRB.otf; every other name, "MS Sans
// Serif" among them, is the default sans-serif face, DejaVuSans.ttf. Of a list of families the
// first whose file is there is taken. The component draws neither bold nor
// italic text, so weight and slant choose nothing here.
#include "imaging/FontFiles.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#define NOGDI
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cctype>
#include <vector>

namespace quillax {

namespace {

constexpr char kSansFile[] = "DejaVuSans.ttf";

struct TFamilyFile {
    const char* Family;
    const char* File;
};
constexpr TFamilyFile kFamilyFiles[] = {
    {"arial", "LiberationSans-Regular.ttf"},
    {"liberation sans", "LiberationSans-Regular.ttf"},
    {"ocr b", "OCRB.otf"},
};

std::string LowerCase(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The folder of the module this code was linked into, with its trailing separator.
std::string ModuleFolder() {
    HMODULE module = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCSTR>(&FindFontFile), &module))
        return {};
    std::vector<char> path(MAX_PATH);
    for (;;) {
        const DWORD length = GetModuleFileNameA(module, path.data(), DWORD(path.size()));
        if (length == 0) return {};
        if (length < path.size()) {
            std::string file(path.data(), length);
            return file.substr(0, file.find_last_of("\\/") + 1);
        }
        path.resize(path.size() * 2);
    }
}

bool IsFile(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

} // namespace

TFontFile FindFontFile(const TLogFont& lf) {
    const std::string folder = ModuleFolder();
    TFontFile found;
    for (const std::string& family : FamiliesOf(LowerCase(lf.FaceName))) {
        for (const TFamilyFile& entry : kFamilyFiles) {
            if (family != entry.Family || !IsFile(folder + entry.File)) continue;
            found.Path = folder + entry.File;
            return found;
        }
    }
    found.Path = folder + kSansFile;
    if (!IsFile(found.Path)) throw EOutOfResources("Out of system resources");
    return found;
}

} // namespace quillax
