// TQuillax: property accessors, page hooks and the two outputs.
#include "object/UQuillax.h"

#include "object/FileOutput.h"
#include "platform/AnsiCodePage.h"
#include "platform/ComUtils.h"

#include <exception>
#include <new>
#include <span>

namespace quillax {

namespace {

// The stored ANSI text as a new wide string that the caller owns.
HRESULT ReturnString(const std::string& text, BSTR* Value) {
    if (Value == nullptr) return E_POINTER;
    BSTR copy = AnsiToBstr(text);
    if (copy == nullptr) return E_OUTOFMEMORY;
    *Value = copy;
    return S_OK;
}

template <class T, class U>
HRESULT ReturnValue(U value, T* Value) {
    if (Value == nullptr) return E_POINTER;
    *Value = static_cast<T>(value);
    return S_OK;
}

VARIANT_BOOL ToVariantBool(bool value) {
    return value ? VARIANT_TRUE : VARIANT_FALSE;
}

// Only the ASCII letters change; every other byte of the ANSI text stays as it is.
std::string UpperCaseAscii(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

// The encoded image as a script receives bytes: a one-dimensional array of unsigned bytes,
// bounds 0 to N - 1, in a VARIANT of type VT_ARRAY | VT_UI1. The array lends the encoded
// bytes themselves for the call, without a copy: its data is static, so destroying it with
// the VARIANT leaves them to the stream, which outlives it.
class TByteArrayVariant {
public:
    explicit TByteArrayVariant(std::span<const uint8_t> bytes) {
        VariantInit(&value_);
        SAFEARRAY* array = nullptr;
        OleCheck(SafeArrayAllocDescriptorEx(VT_UI1, 1, &array));
        array->cbElements = 1;
        array->rgsabound[0].cElements = static_cast<ULONG>(bytes.size());
        array->rgsabound[0].lLbound = 0;
        array->pvData = const_cast<uint8_t*>(bytes.data()); // the callee only reads
        array->fFeatures |= FADF_STATIC;
        V_VT(&value_) = VT_ARRAY | VT_UI1;
        V_ARRAY(&value_) = array;
    }
    ~TByteArrayVariant() { VariantClear(&value_); }
    TByteArrayVariant(const TByteArrayVariant&) = delete;
    TByteArrayVariant& operator=(const TByteArrayVariant&) = delete;

    // Passed by value: the callee borrows the array for the call.
    const VARIANT& Value() const { return value_; }

private:
    VARIANT value_;
};

// Writes the render's image in the format: the raster formats from its bitmap, SVG from its
// picture.
void EncodeImageOf(const TRenderResult& render, TImageType format, TStream& stream) {
    if (render.Picture)
        EncodePicture(*render.Picture, render.Resolution, stream);
    else
        EncodeImage(*render.Surface, format, stream);
}

// Encodes the render in the format. An image the format cannot hold becomes the error image of
// the create step, with the writer's message, in the same format and layout: every format
// holds it. Only a failure to encode that too raises.
void EncodeRender(TRenderResult& render, const TQuillaxProperties& properties,
                  TEncodedBarcode& encoded) {
    const TImageType format = SelectImageFormat(properties.ImageTypeStr);
    encoded.Format = format;
    try {
        EncodeImageOf(render, format, encoded.Image);
    } catch (const std::exception& e) {
        render = ErrorRender(TRenderStep::rsCreate,
                             "Cannot write the " + std::to_string(render.Width()) + " by " +
                                 std::to_string(render.Height()) + " pixel image as " +
                                 NameOfImageType(static_cast<int32_t>(format)) + ": " + e.what(),
                             properties);
        encoded.Image.Clear();
        EncodeImageOf(render, format, encoded.Image);
    }
    encoded.FailedStep = render.FailedStep;
    encoded.FailedMessage = render.FailedMessage;
}

// Why a file name that SaveBarcode was given names no file it could write, or "" when none.
std::string FileNameProblem(const std::string& fileName, bool lostCharacters) {
    const size_t nul = fileName.find('\0');
    const std::string shown = "Cannot create file \"" + fileName.substr(0, nul) + "\". ";
    // "?" in place of characters the code page cannot hold names another file, and a NUL
    // ends the name the file system sees.
    if (lostCharacters) return shown + "The name has characters the ANSI code page cannot hold";
    if (nul != std::string::npos) return shown + "The name holds a NUL character";
    return {};
}

} // namespace

// --- Properties ---------------------------------------------------------------------------

HRESULT TQuillax::get_ImageTypeStr(BSTR* Value) {
    return SafeCall([&] { return ReturnString(FProperties.ImageTypeStr, Value); });
}

HRESULT TQuillax::put_ImageTypeStr(BSTR Value) {
    return SafeCall([&] {
        FProperties.ImageTypeStr = UpperCaseAscii(BstrToAnsi(Value));
        return S_OK;
    });
}

// 0 while ImageTypeStr names no format.
HRESULT TQuillax::get_ImageType(LONG* Value) {
    return SafeCall([&] { return ReturnValue(ImageTypeOfName(FProperties.ImageTypeStr), Value); });
}

// A number that names no format changes nothing.
HRESULT TQuillax::put_ImageType(LONG Value) {
    return SafeCall([&] {
        if (const char* name = NameOfImageType(Value)) FProperties.ImageTypeStr = name;
        return S_OK;
    });
}

HRESULT TQuillax::get_BarcodeType(LONG* Value) {
    return SafeCall([&] { return ReturnValue(FProperties.BarcodeType, Value); });
}

// Stored modulo 256, unchecked: an unknown symbology shows only when rendering.
HRESULT TQuillax::put_BarcodeType(LONG Value) {
    return SafeCall([&] {
        FProperties.BarcodeType = static_cast<uint8_t>(Value);
        return S_OK;
    });
}

HRESULT TQuillax::get_Orientation(INT* Value) {
    return SafeCall([&] { return ReturnValue(FProperties.Orientation, Value); });
}

HRESULT TQuillax::put_Orientation(INT Value) {
    return SafeCall([&] {
        FProperties.Orientation = Value;
        return S_OK;
    });
}

// What the script set: text that the ANSI code page could not hold is returned as given.
HRESULT TQuillax::get_Data(BSTR* Value) {
    return SafeCall([&] {
        const std::u16string& given = FProperties.UnconvertibleData;
        if (given.empty()) return ReturnString(FProperties.Data, Value);
        if (Value == nullptr) return E_POINTER;
        // OLECHAR is wchar_t on Windows; the kept text is UTF-16 either way.
        const OleString wide(given.begin(), given.end());
        BSTR copy = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
        if (copy == nullptr) return E_OUTOFMEMORY;
        *Value = copy;
        return S_OK;
    });
}

// Text with characters that the ANSI code page cannot hold is kept as given as well, so that
// the render refuses it instead of encoding "?".
HRESULT TQuillax::put_Data(BSTR Value) {
    return SafeCall([&] {
        bool lost = false;
        FProperties.Data = BstrToAnsi(Value, lost);
        FProperties.UnconvertibleData =
            lost ? std::u16string(Value, Value + SysStringLen(Value)) : std::u16string();
        return S_OK;
    });
}

HRESULT TQuillax::get_Checksum(VARIANT_BOOL* Value) {
    return SafeCall([&] { return ReturnValue(ToVariantBool(FProperties.Checksum), Value); });
}

HRESULT TQuillax::put_Checksum(VARIANT_BOOL Value) {
    return SafeCall([&] {
        FProperties.Checksum = Value != VARIANT_FALSE;
        return S_OK;
    });
}

HRESULT TQuillax::get_NarrowBarWidth(LONG* Value) {
    return SafeCall([&] { return ReturnValue(FProperties.NarrowBarWidth, Value); });
}

HRESULT TQuillax::put_NarrowBarWidth(LONG Value) {
    return SafeCall([&] {
        FProperties.NarrowBarWidth = Value;
        return S_OK;
    });
}

HRESULT TQuillax::get_ShowText(VARIANT_BOOL* Value) {
    return SafeCall([&] { return ReturnValue(ToVariantBool(FProperties.ShowText), Value); });
}

HRESULT TQuillax::put_ShowText(VARIANT_BOOL Value) {
    return SafeCall([&] {
        FProperties.ShowText = Value != VARIANT_FALSE;
        return S_OK;
    });
}

HRESULT TQuillax::get_Height(LONG* Value) {
    return SafeCall([&] { return ReturnValue(FProperties.Height, Value); });
}

HRESULT TQuillax::put_Height(LONG Value) {
    return SafeCall([&] {
        FProperties.Height = Value;
        return S_OK;
    });
}

HRESULT TQuillax::get_Ratio(LONG* Value) {
    return SafeCall([&] { return ReturnValue(FProperties.Ratio, Value); });
}

HRESULT TQuillax::put_Ratio(LONG Value) {
    return SafeCall([&] {
        FProperties.Ratio = Value;
        return S_OK;
    });
}

HRESULT TQuillax::get_BGColor(LONG* Value) {
    return SafeCall([&] { return ReturnValue(FProperties.BGColor, Value); });
}

HRESULT TQuillax::put_BGColor(LONG Value) {
    return SafeCall([&] {
        FProperties.BGColor = Value;
        return S_OK;
    });
}

HRESULT TQuillax::get_BarColor(LONG* Value) {
    return SafeCall([&] { return ReturnValue(FProperties.BarColor, Value); });
}

HRESULT TQuillax::put_BarColor(LONG Value) {
    return SafeCall([&] {
        FProperties.BarColor = Value;
        return S_OK;
    });
}

HRESULT TQuillax::get_ChecksumMethod(LONG* Value) {
    return SafeCall([&] { return ReturnValue(FProperties.ChecksumMethod, Value); });
}

HRESULT TQuillax::put_ChecksumMethod(LONG Value) {
    return SafeCall([&] {
        FProperties.ChecksumMethod = static_cast<uint8_t>(Value);
        return S_OK;
    });
}

// --- Layout and print settings -------------------------------------------------------------

HRESULT TQuillax::get_Layout(LONG* Value) {
    return SafeCall([&] { return ReturnValue(FProperties.Layout, Value); });
}

HRESULT TQuillax::put_Layout(LONG Value) {
    return SafeCall([&] {
        FProperties.Layout = Value;
        return S_OK;
    });
}

HRESULT TQuillax::get_QuietZone(LONG* Value) {
    return SafeCall([&] { return ReturnValue(FProperties.QuietZone, Value); });
}

HRESULT TQuillax::put_QuietZone(LONG Value) {
    return SafeCall([&] {
        FProperties.QuietZone = Value;
        return S_OK;
    });
}

HRESULT TQuillax::get_Resolution(LONG* Value) {
    return SafeCall([&] { return ReturnValue(FProperties.Resolution, Value); });
}

HRESULT TQuillax::put_Resolution(LONG Value) {
    return SafeCall([&] {
        FProperties.Resolution = Value;
        return S_OK;
    });
}

HRESULT TQuillax::get_XDimension(DOUBLE* Value) {
    return SafeCall([&] { return ReturnValue(FProperties.XDimension, Value); });
}

HRESULT TQuillax::put_XDimension(DOUBLE Value) {
    return SafeCall([&] {
        FProperties.XDimension = Value;
        return S_OK;
    });
}

HRESULT TQuillax::get_ActualXDimension(DOUBLE* Value) {
    return SafeCall([&] { return ReturnValue(ActualXDimension(FProperties), Value); });
}

// --- The last outcome ---------------------------------------------------------------------

HRESULT TQuillax::get_LastResult(LONG* Value) {
    return SafeCall([&] { return ReturnValue(FLastResult, Value); });
}

HRESULT TQuillax::get_LastError(BSTR* Value) {
    return SafeCall([&] { return ReturnString(FLastError, Value); });
}

// A failed step always says something: its own error text when its failure had no message.
void TQuillax::SetLastOutcome(LONG result, const std::string& message) {
    FLastResult = result;
    if (result == 0)
        FLastError.clear();
    else if (result < kResultFileNotWritten)
        FLastError = FailureText(static_cast<TRenderStep>(result), message);
    else
        FLastError = message.empty() ? "No file was written" : message;
}

IUnknown* TQuillax::GetInterface(REFIID iid) {
    if (iid == IID_IQuillax) return static_cast<IQuillax*>(this);
    return TASPObject<IQuillax2>::GetInterface(iid);
}

// --- Page hooks ---------------------------------------------------------------------------

HRESULT TQuillax::OnStartPage(IUnknown* AScriptingContext) {
    return SafeCall([&] {
        FProperties = PageStartProperties(std::move(FProperties.Data),
                                          std::move(FProperties.UnconvertibleData));
        SetLastOutcome(0, {});
        StartPage(AScriptingContext);
    });
}

HRESULT TQuillax::OnEndPage() {
    return SafeCall([&] { EndPage(); });
}

// --- Outputs ------------------------------------------------------------------------------

HRESULT TQuillax::ShowBarcode() {
    return SafeCall([&] {
        // Encoding comes first: a failure to encode even the error image ends the call before
        // any Response call.
        const TEncodedBarcode encoded = EncodeBarcode();
        SetLastOutcome(static_cast<LONG>(encoded.FailedStep), encoded.FailedMessage);
        const std::span<const uint8_t> bytes = encoded.Image.Bytes();
        TByteArrayVariant body(bytes);
        const OleString length = AnsiToWide(std::to_string(bytes.size()));
        const OleString contentType = AnsiToWide(ContentTypeOf(encoded.Format));

        // Each call fetches the Response object afresh from the page's context.
        if (encoded.Format == TImageType::itJPEG) OleCheck(Response()->put_Expires(0));
        OleCheck(Response()->AddHeader(BStr(OLESTR("Content-Length")).Get(),
                                       BStr(length.c_str()).Get()));
        OleCheck(Response()->put_ContentType(BStr(contentType.c_str()).Get()));
        OleCheck(Response()->BinaryWrite(body.Value()));
        OleCheck(Response()->Flush());
    });
}

TEncodedBarcode TQuillax::EncodeBarcode() const {
    TRenderResult render = RenderBarcode(FProperties);
    TEncodedBarcode encoded;
    EncodeRender(render, FProperties, encoded);
    return encoded;
}

HRESULT TQuillax::SaveBarcode(BSTR FileName, LONG* Result) {
    return SafeCall([&] {
        if (Result == nullptr) return E_POINTER;
        TRenderResult render = RenderBarcode(FProperties);
        bool nameLost = false;
        const std::string fileName = BstrToAnsi(FileName, nameLost);
        // The whole file is encoded before the target is touched; a failure to write it (or to
        // encode even the error image) leaves the target as it was and shows in Result, its
        // reason in LastError.
        std::string notWritten = FileNameProblem(fileName, nameLost);
        TEncodedBarcode encoded;
        if (notWritten.empty()) {
            try {
                EncodeRender(render, FProperties, encoded);
                ReplaceFileAtomically(fileName, encoded.Image.Bytes());
            } catch (const std::exception& e) {
                notWritten = e.what();
            }
        }
        if (notWritten.empty()) {
            *Result = static_cast<LONG>(encoded.FailedStep);
            SetLastOutcome(*Result, encoded.FailedMessage);
        } else {
            *Result = kResultFileNotWritten;
            SetLastOutcome(*Result, notWritten);
        }
        return S_OK;
    });
}

} // namespace quillax
