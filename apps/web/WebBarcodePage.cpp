// The component's barcode page, run for each /barcode request that the cache cannot answer.
#include "apps/web/WebBarcodePage.h"
#include "apps/page/BarcodePage.h"
#include "apps/page/SymbologyNames.h"

#include <memory>

namespace quillax::web {

namespace {

// Bytes per pixel in each copy of the image a render holds at once (24-bit rows), the copies
// (the surface, the encoded image, the answer's body), and what a render takes besides them.
constexpr double kBytesPerPixel = 3;
constexpr double kImageCopies = 3;
constexpr std::size_t kRenderBase = 256 * 1024;

} // namespace

PageFunction ComponentPage(const host::TComponentLibrary& component) {
    return [page = std::make_shared<const host::TBarcodePage>(component)](
               const std::vector<PageParameter>& parameters) {
        host::TPageOutcome outcome;
        try {
            outcome = page->Show(parameters);
        } catch (const host::EUsageError& e) {
            throw PageUsageError(e.what());
        }
        PageReply reply;
        reply.expiresMinutes = outcome.ExpiresMinutes;
        reply.headers = std::move(outcome.Headers);
        reply.contentType = std::move(outcome.ContentType);
        reply.body = std::move(outcome.Bytes);
        reply.lastResult = outcome.Result;
        reply.lastError = std::move(outcome.Error);
        return reply;
    };
}

PageSource ComponentPageSource(const host::TComponentLibrary& component) {
    PageFunction page = ComponentPage(component);
    PageSource source;
    source.run = page;
    source.cost = [](const std::vector<PageParameter>& parameters) {
        const double bytes = host::ImagePixelsBound(parameters) * kBytesPerPixel * kImageCopies;
        return bytes >= 1e18 ? std::size_t(-1) : kRenderBase + static_cast<std::size_t>(bytes);
    };
    // Without rows the object fails its sizing step and draws its error image, as it does
    // for a barcode beyond its surface bounds.
    source.tooLarge = [page](const std::vector<PageParameter>& parameters, const std::string& why) {
        std::vector<PageParameter> unsized = parameters;
        unsized.emplace_back("Height", "0");
        PageReply reply = page(unsized);
        reply.lastResult = 2;
        reply.lastError = why;
        return reply;
    };
    return source;
}

} // namespace quillax::web
