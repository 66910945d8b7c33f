// The C API's page over the seam of apps/page, with the component found beside this library.
#include "bindings/capi/BindingPage.h"

#include <dlfcn.h>
#include <filesystem>

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

// The component and its page runner, made by the first page and kept for the life of the
// process: pages on other threads may still be running while the process ends.
const host::TBarcodePage& Pages() {
    static const host::TBarcodePage* const pages = [] {
        static const host::TComponentLibrary* const component =
            new host::TComponentLibrary(ComponentPath());
        return new host::TBarcodePage(*component);
    }();
    return *pages;
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

TBindingPage::TBindingPage()
    : response_(std::make_unique<TMemoryResponse>()), page_(Pages().Open(*response_)) {}

TBindingPage::~TBindingPage() = default;

void TBindingPage::Set(std::string_view name, std::string_view value) {
    page_->Set(name, value);
}

TRenderedImage TBindingPage::Render() {
    response_->Image = {};
    const host::TRenderOutcome outcome = page_->Show();
    TRenderedImage image = std::move(response_->Image);
    response_->Image = {};
    image.Step = outcome.Result;
    image.Message = outcome.Error;
    if (outcome.Failed() && image.Message.empty())
        image.Message = "rendering failed at step " + std::to_string(outcome.Result);
    return image;
}

} // namespace quillax::binding
