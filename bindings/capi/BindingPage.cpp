// The open page of a binding, over the host's calls: component loading, the page's Response
// object and late-bound property puts, as `quillax render` makes them.
#include "bindings/capi/BindingPage.h"

#include "apps/ImageFormatNames.h"
#include "apps/SymbologyNames.h"
#include "hosting/Kemrin_Quillax_TLB.h"

#include <algorithm>
#include <dlfcn.h>
#include <filesystem>
#include <memory>

#ifndef QUILLAX_COMPONENT_FILE
#define QUILLAX_COMPONENT_FILE "libKemrin_Quillax.so.1"
#endif

namespace quillax::binding {

namespace fs = std::filesystem;

namespace {

// The component lies beside this library, in the build folder as in the installed one.
std::string ComponentPath() {
    Dl_info self{};
    if (dladdr(reinterpret_cast<void*>(&ComponentPath), &self) == 0 || self.dli_fname == nullptr)
        return QUILLAX_COMPONENT_FILE;
    std::error_code ignored;
    const fs::path library = fs::absolute(self.dli_fname, ignored);
    return (library.parent_path() / QUILLAX_COMPONENT_FILE).string();
}

// Loaded by the first page and kept for the life of the process: pages on other threads
// may still be running while the process ends.
const host::TComponentLibrary& Component() {
    static const host::TComponentLibrary* const component =
        new host::TComponentLibrary(ComponentPath());
    return *component;
}

bool SameName(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        return lower(x) == lower(y);
    });
}

// The properties a script can set, read once from the object's type information.
bool IsSettable(IDispatch* object, std::string_view name) {
    static const std::vector<std::string> names = host::PropertyNames(object);
    return std::any_of(names.begin(), names.end(),
                       [&](const std::string& settable) { return SameName(settable, name); });
}

} // namespace

// The page's Response: the image's type and bytes, kept for the render that asked for them.
class TBindingPage::TMemoryResponse final : public host::TResponseSink {
public:
    TRenderedImage Image;

    HRESULT Expires(LONG) override { return S_OK; }
    HRESULT AddHeader(const std::string&, const std::string&) override { return S_OK; }
    HRESULT ContentType(const std::string& type) override {
        Image.ContentType = type;
        return S_OK;
    }
    HRESULT BinaryWrite(std::span<const BYTE> bytes) override {
        Image.Bytes.insert(Image.Bytes.end(), bytes.begin(), bytes.end());
        return S_OK;
    }
    HRESULT Flush() override { return S_OK; }
};

TBindingPage::TBindingPage() : response_(std::make_unique<TMemoryResponse>()) {
    context_ = host::MakeScriptingContext(*response_);
    object_ = Component().CreateObject(CLSID_Quillax);
    host::StartPage(object_.Get(), context_.Get());
}

TBindingPage::~TBindingPage() {
    try {
        host::EndPage(object_.Get());
    } catch (...) {
    }
}

void TBindingPage::Set(std::string_view name, std::string_view value) {
    if (!IsSettable(object_.Get(), name))
        throw EUnknownProperty("unknown property " + std::string(name));
    // Symbology names become numbers and image formats are checked, as on the command line.
    const host::TPropertySetting setting{std::string(name), std::string(value)};
    const std::vector<host::TPropertySetting> translated =
        host::WithCheckedImageFormat(host::WithSymbologyNumbers({&setting, 1}));
    host::PutProperty(object_.Get(), translated.front().first, translated.front().second);
}

TRenderedImage TBindingPage::Render() {
    response_->Image = {};
    host::ShowBarcode(object_.Get());
    TRenderedImage image = std::move(response_->Image);
    response_->Image = {};
    const host::TRenderOutcome outcome = host::LastOutcome(object_.Get());
    image.Step = outcome.Result;
    image.Message = outcome.Error;
    if (outcome.Failed() && image.Message.empty())
        image.Message = "rendering failed at step " + std::to_string(outcome.Result);
    return image;
}

} // namespace quillax::binding
