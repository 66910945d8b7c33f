// TQuillax: property accessors, page hooks and the two outputs.
#include "object/UQuillax.h"

#include "object/FileOutput.h"
#include "platform/AnsiCodePage.h"
#include "platform/ComUtils.h"

#include <cstring>
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
// bounds 0 to N - 1, in a VARIANT of type VT_ARRAY | VT_UI1. The array is destroyed with it.
class TByteArrayVariant {
public:
    explicit TByteArrayVariant(std::span<const uint8_t> bytes) {
        VariantInit(&value_);
        SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
        if (array == nullptr) throw std::bad_alloc();
        V_VT(&value_) = VT_ARRAY | VT_UI1;
        V_ARRAY(&value_) = array;
        OleCheck(SafeArrayLock(array));
        if (!bytes.empty()) std::memcpy(array->pvData, bytes.data(), bytes.size());
        OleCheck(SafeArrayUnlock(array));
    }
    ~TByteArrayVariant() { VariantClear(&value_); }
    TByteArrayVariant(const TByteArrayVariant&) = delete;
    TByteArrayVariant& operator=(const TByteArrayVariant&) = delete;

    // Passed by value: the callee borrows the array for the call.
    const VARIANT& Value() const { return value_; }

private:
    VARIANT value_;
};

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

// --- Page hooks ---------------------------------------------------------------------------

HRESULT TQuillax::OnStartPage(IUnknown* AScriptingContext) {
    return SafeCall([&] {
        FProperties = PageStartProperties(std::move(FProperties.Data),
                                          std::move(FProperties.UnconvertibleData));
        StartPage(AScriptingContext);
    });
}

HRESULT TQuillax::OnEndPage() {
    return SafeCall([&] { EndPage(); });
}

// --- Outputs ------------------------------------------------------------------------------

HRESULT TQuillax::ShowBarcode() {
    return SafeCall([&] {
        // Encoding comes first: an encoder failure ends the call before any Response call.
        const TEncodedBarcode encoded = EncodeBarcode();
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
    encoded.Format = SelectImageFormat(FProperties.ImageTypeStr);
    encoded.FailedStep = render.FailedStep;
    EncodeImage(*render.Surface, encoded.Format, encoded.Image);
    return encoded;
}

HRESULT TQuillax::SaveBarcode(BSTR FileName, LONG* Result) {
    return SafeCall([&] {
        if (Result == nullptr) return E_POINTER;
        TRenderResult render = RenderBarcode(FProperties);
        TImageType format = SelectImageFormat(FProperties.ImageTypeStr);
        // A name with "?" in place of characters the code page cannot hold names another
        // file, and so does one with a NUL, which ends the name the file system sees.
        bool nameLost = false;
        const std::string fileName = BstrToAnsi(FileName, nameLost);
        if (fileName.find('\0') != std::string::npos) nameLost = true;
        // The whole file is encoded before the target is touched; a failure to encode or to
        // write leaves the target as it was and shows in Result.
        bool written = false;
        if (!nameLost) {
            try {
                TMemoryStream image;
                EncodeImage(*render.Surface, format, image);
                ReplaceFileAtomically(fileName, image.Bytes());
                written = true;
            } catch (const std::exception&) {
            }
        }
        *Result = written ? static_cast<LONG>(render.FailedStep) : kResultFileNotWritten;
        return S_OK;
    });
}

} // namespace quillax
