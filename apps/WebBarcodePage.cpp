// The component's barcode page, run for each /barcode request that the cache cannot answer.
#include "apps/WebBarcodePage.h"
#include "apps/ComponentHost.h"
#include "apps/ImageFormatNames.h"
#include "apps/SymbologyNames.h"

#include "hosting/Kemrin_Quillax_TLB.h"

namespace quillax::web {

namespace {

// A page's Response object that keeps every call for the HTTP answer.
class TRecordedResponse final : public host::TResponseSink {
public:
    HRESULT Expires(LONG minutes) override {
        reply_.expiresMinutes = minutes;
        return S_OK;
    }
    HRESULT AddHeader(const std::string& name, const std::string& value) override {
        reply_.headers.emplace_back(name, value);
        return S_OK;
    }
    HRESULT ContentType(const std::string& type) override {
        reply_.contentType = type;
        return S_OK;
    }
    HRESULT BinaryWrite(std::span<const BYTE> bytes) override {
        reply_.body.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        return S_OK;
    }
    HRESULT Flush() override { return S_OK; }

    PageReply Take() { return std::move(reply_); }

private:
    PageReply reply_;
};

// One query parameter as the property put it becomes: the name and the text value as sent.
void PutPageParameter(IDispatch* barcode, const PageParameter& parameter) {
    host::PutProperty(barcode, parameter.first, parameter.second);
}

} // namespace

namespace {

// Bytes per pixel in each copy of the image a render holds at once (24-bit rows), the copies
// (the surface, the encoded image, the answer's body), and what a render takes besides them.
constexpr double kBytesPerPixel = 3;
constexpr double kImageCopies = 3;
constexpr std::size_t kRenderBase = 256 * 1024;

} // namespace

PageFunction ComponentPage(const host::TComponentLibrary& component) {
    return [&component](const std::vector<PageParameter>& parameters) {
        TRecordedResponse response;
        host::TRenderOutcome outcome;
        try {
            // A symbology's name for BarcodeType becomes its number, as on the command line.
            const std::vector<PageParameter> settings =
                host::WithCheckedImageFormat(host::WithSymbologyNumbers(parameters));
            ComPtr<IScriptingContext> context = host::MakeScriptingContext(response);
            ComPtr<IDispatch> barcode = component.CreateObject(CLSID_Quillax);
            host::StartPage(barcode.Get(), context.Get());
            for (const PageParameter& parameter : settings)
                PutPageParameter(barcode.Get(), parameter);
            host::ShowBarcode(barcode.Get());
            outcome = host::LastOutcome(barcode.Get());
            host::EndPage(barcode.Get());
        } catch (const host::EUsageError& e) {
            throw PageUsageError(e.what());
        }
        PageReply reply = response.Take();
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
