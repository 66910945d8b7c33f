// TQuillax: the scriptable barcode object (class Quillax, dual interface IQuillax2, which
// extends the classic IQuillax). Scripts set its properties and ask for the image, streamed
// into the page's response or saved to a file, and can read what became of the last one.
// Every member runs under the failure-to-status rule: a status result, and an error record
// when it fails.
#pragma once

#include "hosting/ASPObj.h"
#include "hosting/Kemrin_Quillax_TLB.h"
#include "object/ImageFormat.h"
#include "object/RenderPipeline.h"
#include "platform/ComBase.h"
#include "platform/OleAuto.h"

namespace quillax {

// SaveBarcode's Result when no file was written: the file could not be created or written,
// its name does not convert to the ANSI code page, or the encoder failed. Codes 0 to 4 are
// the render's steps (TRenderStep).
inline constexpr LONG kResultFileNotWritten = 5;

// One render, encoded: the bytes of the image file and what went into them.
struct TEncodedBarcode {
    TImageType Format = TImageType::itBMP;
    TRenderStep FailedStep = TRenderStep::rsNone;
    std::string FailedMessage; // the failure's own message (ANSI); empty when clean
    TMemoryStream Image;
};

class TQuillax : public TASPObject<IQuillax2> {
public:
    TQuillax() = default;
    ~TQuillax() override = default;
    TQuillax(const TQuillax&) = delete;
    TQuillax& operator=(const TQuillax&) = delete;

    // --- Properties: setters store, getters return; nothing is checked until a render ---
    HRESULT STDMETHODCALLTYPE get_ImageTypeStr(BSTR* Value) override;
    HRESULT STDMETHODCALLTYPE put_ImageTypeStr(BSTR Value) override;
    HRESULT STDMETHODCALLTYPE get_ImageType(LONG* Value) override;
    HRESULT STDMETHODCALLTYPE put_ImageType(LONG Value) override;
    HRESULT STDMETHODCALLTYPE get_BarcodeType(LONG* Value) override;
    HRESULT STDMETHODCALLTYPE put_BarcodeType(LONG Value) override;
    HRESULT STDMETHODCALLTYPE get_Orientation(INT* Value) override;
    HRESULT STDMETHODCALLTYPE put_Orientation(INT Value) override;
    HRESULT STDMETHODCALLTYPE get_Data(BSTR* Value) override;
    HRESULT STDMETHODCALLTYPE put_Data(BSTR Value) override;
    HRESULT STDMETHODCALLTYPE get_Checksum(VARIANT_BOOL* Value) override;
    HRESULT STDMETHODCALLTYPE put_Checksum(VARIANT_BOOL Value) override;
    HRESULT STDMETHODCALLTYPE get_NarrowBarWidth(LONG* Value) override;
    HRESULT STDMETHODCALLTYPE put_NarrowBarWidth(LONG Value) override;
    HRESULT STDMETHODCALLTYPE get_ShowText(VARIANT_BOOL* Value) override;
    HRESULT STDMETHODCALLTYPE put_ShowText(VARIANT_BOOL Value) override;
    HRESULT STDMETHODCALLTYPE get_Height(LONG* Value) override;
    HRESULT STDMETHODCALLTYPE put_Height(LONG Value) override;
    HRESULT STDMETHODCALLTYPE get_Ratio(LONG* Value) override;
    HRESULT STDMETHODCALLTYPE put_Ratio(LONG Value) override;
    HRESULT STDMETHODCALLTYPE get_BGColor(LONG* Value) override;
    HRESULT STDMETHODCALLTYPE put_BGColor(LONG Value) override;
    HRESULT STDMETHODCALLTYPE get_BarColor(LONG* Value) override;
    HRESULT STDMETHODCALLTYPE put_BarColor(LONG Value) override;
    HRESULT STDMETHODCALLTYPE get_ChecksumMethod(LONG* Value) override;
    HRESULT STDMETHODCALLTYPE put_ChecksumMethod(LONG Value) override;

    // --- What became of the last ShowBarcode or SaveBarcode: 0 and empty before the first,
    // after a clean one and after a page start ---
    HRESULT STDMETHODCALLTYPE get_LastResult(LONG* Value) override;
    HRESULT STDMETHODCALLTYPE get_LastError(BSTR* Value) override;

    // --- Layout and print settings: stored unchecked like the others; a render refuses a
    // Layout other than 0 and 1, a QuietZone below -1, a Resolution outside 0 to 65,535 and a
    // negative or non-finite XDimension (LastResult 2) ---
    HRESULT STDMETHODCALLTYPE get_Layout(LONG* Value) override;
    HRESULT STDMETHODCALLTYPE put_Layout(LONG Value) override;
    HRESULT STDMETHODCALLTYPE get_QuietZone(LONG* Value) override;
    HRESULT STDMETHODCALLTYPE put_QuietZone(LONG Value) override;
    HRESULT STDMETHODCALLTYPE get_Resolution(LONG* Value) override;
    HRESULT STDMETHODCALLTYPE put_Resolution(LONG Value) override;
    HRESULT STDMETHODCALLTYPE get_XDimension(DOUBLE* Value) override;
    HRESULT STDMETHODCALLTYPE put_XDimension(DOUBLE Value) override;
    // The narrow bar the image has at its Resolution, in millimetres; 0 without a Resolution.
    HRESULT STDMETHODCALLTYPE get_ActualXDimension(DOUBLE* Value) override;

    // --- Page hooks: a page start resets every property but Data, and the last outcome ---
    HRESULT STDMETHODCALLTYPE OnStartPage(IUnknown* AScriptingContext) override;
    HRESULT STDMETHODCALLTYPE OnEndPage() override;

    // --- Outputs ---
    // Sends the image into the page's response: Expires 0 (JPEG only), the Content-Length
    // header, the content type, the bytes in one binary write, a flush. A failing Response
    // call ends it with the host's status; without a page nothing is sent.
    HRESULT STDMETHODCALLTYPE ShowBarcode() override;
    // Writes the image into FileName (replacing it whole); Result receives the code of the
    // render step that failed last, 0 when none did, or kResultFileNotWritten when no file was
    // written (the target then stays as it was). The call succeeds either way.
    HRESULT STDMETHODCALLTYPE SaveBarcode(BSTR FileName, LONG* Result) override;

    // The image of the current properties in the format ImageTypeStr selects. Render
    // failures are drawn into it and named by FailedStep. A surface the format cannot hold
    // (a JPEG side over 65,535 pixels, an SVG beyond its largest document) gives the error
    // image of rsCreate in that format, with the encoder's message; only a failure to encode
    // that too raises.
    TEncodedBarcode EncodeBarcode() const;

    const TQuillaxProperties& Properties() const { return FProperties; }

protected:
    // IQuillax is answered by IQuillax2's function table, which begins with it.
    IUnknown* GetInterface(REFIID iid) override;

private:
    void SetLastOutcome(LONG result, const std::string& message);

    TQuillaxProperties FProperties;
    LONG FLastResult = 0;
    std::string FLastError; // ANSI
};

} // namespace quillax
