// The page seam: the object reached through its dual interface's function table, as any C++
// client reaches it, with property names resolved against a table made once, not per page.
#include "apps/page/BarcodePage.h"

#include "apps/page/ColourValues.h"
#include "apps/page/ImageFormatNames.h"
#include "apps/page/SymbologyNames.h"
#include "platform/AnsiCodePage.h"
#include "platform/Utf8.h"

#include <algorithm>
#include <array>
#include <new>

namespace quillax::host {

namespace {

// What a text value converts to, and the property put that takes it.
struct TPropertyPut {
    std::string_view Name;
    VARTYPE Type;
    HRESULT (*Put)(IQuillax2* object, const VARIANT& value);
};

// Every property a script can set, in the object's order; a test holds it against the type
// information.
constexpr std::array<TPropertyPut, 17> kPropertyPuts{{
    {"ImageTypeStr", VT_BSTR,
     [](IQuillax2* o, const VARIANT& v) { return o->put_ImageTypeStr(V_BSTR(&v)); }},
    {"BarcodeType", VT_I4,
     [](IQuillax2* o, const VARIANT& v) { return o->put_BarcodeType(V_I4(&v)); }},
    {"Orientation", VT_INT,
     [](IQuillax2* o, const VARIANT& v) { return o->put_Orientation(V_INT(&v)); }},
    {"Data", VT_BSTR, [](IQuillax2* o, const VARIANT& v) { return o->put_Data(V_BSTR(&v)); }},
    {"Checksum", VT_BOOL,
     [](IQuillax2* o, const VARIANT& v) { return o->put_Checksum(V_BOOL(&v)); }},
    {"NarrowBarWidth", VT_I4,
     [](IQuillax2* o, const VARIANT& v) { return o->put_NarrowBarWidth(V_I4(&v)); }},
    {"ShowText", VT_BOOL,
     [](IQuillax2* o, const VARIANT& v) { return o->put_ShowText(V_BOOL(&v)); }},
    {"Height", VT_I4, [](IQuillax2* o, const VARIANT& v) { return o->put_Height(V_I4(&v)); }},
    {"Ratio", VT_I4, [](IQuillax2* o, const VARIANT& v) { return o->put_Ratio(V_I4(&v)); }},
    {"ImageType", VT_I4, [](IQuillax2* o, const VARIANT& v) { return o->put_ImageType(V_I4(&v)); }},
    {"BGColor", VT_I4, [](IQuillax2* o, const VARIANT& v) { return o->put_BGColor(V_I4(&v)); }},
    {"BarColor", VT_I4, [](IQuillax2* o, const VARIANT& v) { return o->put_BarColor(V_I4(&v)); }},
    {"ChecksumMethod", VT_I4,
     [](IQuillax2* o, const VARIANT& v) { return o->put_ChecksumMethod(V_I4(&v)); }},
    {"Layout", VT_I4, [](IQuillax2* o, const VARIANT& v) { return o->put_Layout(V_I4(&v)); }},
    {"QuietZone", VT_I4, [](IQuillax2* o, const VARIANT& v) { return o->put_QuietZone(V_I4(&v)); }},
    {"Resolution", VT_I4,
     [](IQuillax2* o, const VARIANT& v) { return o->put_Resolution(V_I4(&v)); }},
    {"XDimension", VT_R8,
     [](IQuillax2* o, const VARIANT& v) { return o->put_XDimension(V_R8(&v)); }},
}};

// The object's members that are not properties a script sets.
constexpr std::array<std::string_view, 4> kMethods{"OnStartPage", "OnEndPage", "ShowBarcode",
                                                   "SaveBarcode"};

const std::array<std::string_view, kPropertyPuts.size()> kPropertyNames = [] {
    std::array<std::string_view, kPropertyPuts.size()> names{};
    std::transform(kPropertyPuts.begin(), kPropertyPuts.end(), names.begin(),
                   [](const TPropertyPut& put) { return put.Name; });
    return names;
}();

// Names match without regard to the case of ASCII letters, as the object matches them.
bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               const auto lower = [](char c) {
                   return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
               };
               return lower(x) == lower(y);
           });
}

const TPropertyPut& PutOf(std::string_view name) {
    for (const TPropertyPut& put : kPropertyPuts)
        if (SameName(put.Name, name)) return put;
    for (std::string_view method : kMethods)
        if (SameName(method, name))
            throw EUnknownProperty(std::string(name) + " is not a property that can be set");
    throw EUnknownProperty("unknown property " + std::string(name));
}

// A failed call raises with the member's name and the object's description.
void Check(HRESULT hr, std::string_view member) {
    if (SUCCEEDED(hr)) return;
    try {
        OleCheck(hr);
    } catch (const EOleSysError& e) {
        throw EOleSysError(std::string(member) + ": " + e.what(), e.ErrorCode());
    }
}

// A VARIANT owned for the length of a call.
struct TOwnedVariant : VARIANT {
    TOwnedVariant() : VARIANT() { VariantInit(this); }
    ~TOwnedVariant() { VariantClear(this); }
    TOwnedVariant(const TOwnedVariant&) = delete;
    TOwnedVariant& operator=(const TOwnedVariant&) = delete;
};

// Sets one property from its text, converted as a script host converts it.
void Put(IQuillax2* object, std::string_view name, std::string_view text) {
    const TPropertyPut& put = PutOf(name);
    const std::string translated = put.Name == "BarcodeType"    ? BarcodeTypeValue(text)
                                   : IsColourProperty(put.Name) ? ColourValue(name, text)
                                                                : std::string(text);
    const std::u16string wide = Utf8ToUtf16Replacing(translated);
    TOwnedVariant value;
    V_VT(&value) = VT_BSTR;
    V_BSTR(&value) = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
    if (V_BSTR(&value) == nullptr) throw std::bad_alloc();
    TOwnedVariant converted;
    if (put.Type != VT_BSTR) {
        const HRESULT hr = VariantChangeType(&converted, &value, 0, put.Type);
        if (hr == DISP_E_TYPEMISMATCH || hr == DISP_E_OVERFLOW)
            throw EUsageError("value " + std::string(text) + " does not convert for property " +
                              std::string(name));
        Check(hr, name);
    }
    Check(put.Put(object, put.Type == VT_BSTR ? value : converted), name);
}

// The Response calls of a page, kept for its outcome.
class TRecordingSink final : public TResponseSink {
public:
    explicit TRecordingSink(TPageOutcome& outcome) : outcome_(outcome) {}
    HRESULT Expires(LONG minutes) override {
        outcome_.ExpiresMinutes = minutes;
        return S_OK;
    }
    HRESULT AddHeader(const std::string& name, const std::string& value) override {
        outcome_.Headers.emplace_back(name, value);
        return S_OK;
    }
    HRESULT ContentType(const std::string& type) override {
        outcome_.ContentType = type;
        return S_OK;
    }
    HRESULT BinaryWrite(std::span<const BYTE> bytes) override {
        outcome_.Bytes.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        return S_OK;
    }
    HRESULT Flush() override { return S_OK; }

private:
    TPageOutcome& outcome_;
};

// The object's LastResult and LastError, read through IQuillax2.
void ReadOutcome(IQuillax2* object, TRenderOutcome& outcome) {
    Check(object->get_LastResult(&outcome.Result), "LastResult");
    if (!outcome.Failed()) return;
    BStr error;
    Check(object->get_LastError(error.ReleaseAndGetAddressOf()), "LastError");
    outcome.Error = Utf16ToUtf8Replacing(error.View());
}

// The page: start, settings (the image format checked against fileName's extension), the
// output, the outcome, end. A page that fails is left to the object's release.
template <class Output>
TPageOutcome RunPage(IQuillax2* object, std::span<const TPropertySetting> settings,
                     std::string_view fileName, TResponseSink* sink, Output output) {
    const std::vector<TPropertySetting> checked = WithCheckedImageFormat(settings, fileName);
    TPageOutcome outcome;
    TRecordingSink recording(outcome);
    ComPtr<IScriptingContext> context = MakeScriptingContext(sink ? *sink : recording);
    Check(object->OnStartPage(context.Get()), "OnStartPage");
    for (const auto& [name, value] : checked)
        Put(object, name, value);
    output();
    ReadOutcome(object, outcome);
    Check(object->OnEndPage(), "OnEndPage");
    return outcome;
}

} // namespace

std::span<const std::string_view> PagePropertyNames() {
    return kPropertyNames;
}

TBarcodePage::TBarcodePage(const TComponentLibrary& component) {
    OleCheck(component.GetClassObject(CLSID_Quillax, IID_IClassFactory,
                                      reinterpret_cast<void**>(factory_.GetAddressOf())));
}

ComPtr<IQuillax2> TBarcodePage::NewObject() const {
    ComPtr<IQuillax2> object;
    OleCheck(factory_->CreateInstance(nullptr, IID_IQuillax2,
                                      reinterpret_cast<void**>(object.GetAddressOf())));
    return object;
}

TPageOutcome TBarcodePage::Show(std::span<const TPropertySetting> settings, TResponseSink* sink,
                                std::string_view fileName) const {
    const ComPtr<IQuillax2> object = NewObject();
    return RunPage(object.Get(), settings, fileName, sink,
                   [&] { Check(object->ShowBarcode(), "ShowBarcode"); });
}

TPageOutcome TBarcodePage::Save(std::span<const TPropertySetting> settings,
                                const std::string& fileName,
                                const std::function<std::string(LONG)>& nameByFormat,
                                const std::filesystem::path& folder) const {
    const ComPtr<IQuillax2> object = NewObject();
    return RunPage(object.Get(), settings, fileName, nullptr, [&] {
        std::string file = fileName;
        if (file.empty() && nameByFormat) {
            LONG imageType = 0;
            Check(object->get_ImageType(&imageType), "ImageType");
            file = nameByFormat(imageType);
        }
        // A path is bytes: each byte widens to one character and narrows back to itself.
        const BStr name(AnsiToWide(folder.empty() ? file : (folder / file).string()).c_str());
        LONG result = 0;
        Check(object->SaveBarcode(name.Get(), &result), "SaveBarcode");
    });
}

std::unique_ptr<TOpenPage> TBarcodePage::Open(TResponseSink& sink) const {
    return std::unique_ptr<TOpenPage>(new TOpenPage(NewObject(), sink));
}

TOpenPage::TOpenPage(ComPtr<IQuillax2> object, TResponseSink& sink)
    : context_(MakeScriptingContext(sink)), object_(std::move(object)) {
    Check(object_->OnStartPage(context_.Get()), "OnStartPage");
}

TOpenPage::~TOpenPage() {
    object_->OnEndPage(); // a page that cannot end is left to the object's release
}

void TOpenPage::Set(std::string_view name, std::string_view value) {
    const TPropertySetting setting{std::string(name), std::string(value)};
    const std::vector<TPropertySetting> checked = WithCheckedImageFormat({&setting, 1});
    Put(object_.Get(), checked.front().first, checked.front().second);
}

TRenderOutcome TOpenPage::Show() {
    Check(object_->ShowBarcode(), "ShowBarcode");
    TRenderOutcome outcome;
    ReadOutcome(object_.Get(), outcome);
    return outcome;
}

TRenderOutcome RunBarcodePage(const TComponentLibrary& component,
                              std::span<const TPropertySetting> properties, TResponseSink& sink) {
    return TBarcodePage(component).Show(properties, &sink);
}

} // namespace quillax::host
