// Hosting the component: loading its library, a page's scripting context and Response
// object, and late-bound calls through IDispatch.
#include "apps/ComponentHost.h"

#include "hosting/Kemrin_Quillax_TLB.h"
#include "platform/AnsiCodePage.h"
#include "platform/Utf8.h"

#include <atomic>
#include <climits>
#include <dlfcn.h>
#include <filesystem>
#include <unistd.h>
#include <vector>

#ifndef QUILLAX_INSTALLED_COMPONENT
#define QUILLAX_INSTALLED_COMPONENT "../lib/libKemrin_Quillax.so.1"
#endif

namespace quillax::host {

namespace fs = std::filesystem;

// --- The component library -----------------------------------------------------------------

namespace {

// Under AddressSanitizer the library stays mapped after dlclose, so that leak reports at exit
// can still name its frames (and those of the libraries it loaded) and suppressions match.
#if defined(__SANITIZE_ADDRESS__)
constexpr int KeepMapped = RTLD_NODELETE;
#else
constexpr int KeepMapped = 0;
#endif

template <class Function>
Function Entry(void* handle, const char* name) {
    void* address = dlsym(handle, name);
    if (address == nullptr) throw Exception(std::string("The component lacks ") + name);
    return reinterpret_cast<Function>(address);
}

} // namespace

TComponentLibrary::TComponentLibrary(const std::string& path) {
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | KeepMapped);
    if (handle_ == nullptr) {
        const char* why = dlerror();
        throw Exception("Cannot load the component " + path + ": " + (why ? why : "unknown"));
    }
    try {
        getClassObject_ = Entry<decltype(getClassObject_)>(handle_, "DllGetClassObject");
        canUnloadNow_ = Entry<decltype(canUnloadNow_)>(handle_, "DllCanUnloadNow");
        registerServer_ = Entry<decltype(registerServer_)>(handle_, "DllRegisterServer");
        unregisterServer_ = Entry<decltype(unregisterServer_)>(handle_, "DllUnregisterServer");
    } catch (...) {
        dlclose(handle_);
        throw;
    }
}

TComponentLibrary::~TComponentLibrary() {
    // Objects or factory references still held keep the library in memory.
    if (canUnloadNow_() == S_OK) dlclose(handle_);
}

std::string TComponentLibrary::DefaultPath() {
    char self[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0) return "libKemrin_Quillax.so";
    const fs::path folder =
        fs::path(std::string(self, static_cast<std::size_t>(length))).parent_path();
    // Built, the component sits beside the program; installed, in the library folder.
    const fs::path beside = folder / "libKemrin_Quillax.so";
    std::error_code ignored;
    if (fs::exists(beside, ignored)) return beside.string();
    return (folder / QUILLAX_INSTALLED_COMPONENT).lexically_normal().string();
}

HRESULT TComponentLibrary::GetClassObject(REFCLSID clsid, REFIID iid, void** ppv) const {
    return getClassObject_(clsid, iid, ppv);
}
HRESULT TComponentLibrary::CanUnloadNow() const {
    return canUnloadNow_();
}
HRESULT TComponentLibrary::RegisterServer() const {
    return registerServer_();
}
HRESULT TComponentLibrary::UnregisterServer() const {
    return unregisterServer_();
}

ComPtr<IDispatch> TComponentLibrary::CreateObject(REFCLSID clsid) const {
    ComPtr<IClassFactory> factory;
    OleCheck(
        GetClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(factory.GetAddressOf())));
    ComPtr<IDispatch> object;
    OleCheck(factory->CreateInstance(nullptr, IID_IDispatch,
                                     reinterpret_cast<void**>(object.GetAddressOf())));
    return object;
}

// --- Text ------------------------------------------------------------------------------------

std::u16string Utf8ToWide(std::string_view text) {
    return Utf8ToUtf16Replacing(text);
}

std::string WideToUtf8(std::u16string_view text) {
    return Utf16ToUtf8Replacing(text);
}

// --- Scripting context and Response -----------------------------------------------------------

namespace {

// Reference counting shared by the host's objects.
template <class Interface>
class THostObject : public Interface {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IDispatch || riid == OwnIID()) {
            *ppv = static_cast<Interface*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refCount_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG count = --refCount_;
        if (count == 0) delete this;
        return count;
    }
    // The host's objects are reached through their function tables only.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) override {
        if (pctinfo != nullptr) *pctinfo = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) override {
        if (ppTInfo != nullptr) *ppTInfo = nullptr;
        return DISP_E_BADINDEX;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                     UINT*) override {
        return E_NOTIMPL;
    }

protected:
    THostObject() = default;
    virtual ~THostObject() = default;
    virtual const IID& OwnIID() const = 0;

private:
    std::atomic<ULONG> refCount_{1};
};

class TResponse final : public THostObject<IResponse> {
public:
    explicit TResponse(TResponseSink& sink) : sink_(sink) {}

    HRESULT STDMETHODCALLTYPE put_ContentType(BSTR value) override {
        return sink_.ContentType(WideToUtf8({value ? value : u"", SysStringLen(value)}));
    }
    HRESULT STDMETHODCALLTYPE put_Expires(LONG minutes) override { return sink_.Expires(minutes); }
    HRESULT STDMETHODCALLTYPE AddHeader(BSTR name, BSTR value) override {
        return sink_.AddHeader(WideToUtf8({name ? name : u"", SysStringLen(name)}),
                               WideToUtf8({value ? value : u"", SysStringLen(value)}));
    }
    HRESULT STDMETHODCALLTYPE BinaryWrite(VARIANT input) override {
        const VARIANT* value = &input;
        if (V_VT(value) == (VT_BYREF | VT_VARIANT)) value = V_VARIANTREF(value);
        if (V_VT(value) != (VT_ARRAY | VT_UI1)) return DISP_E_TYPEMISMATCH;
        SAFEARRAY* array = V_ARRAY(value);
        LONG lower = 0;
        LONG upper = -1;
        if (SafeArrayGetDim(array) != 1 || FAILED(SafeArrayGetLBound(array, 1, &lower)) ||
            FAILED(SafeArrayGetUBound(array, 1, &upper)))
            return E_INVALIDARG;
        void* data = nullptr;
        if (HRESULT hr = SafeArrayAccessData(array, &data); FAILED(hr)) return hr;
        const auto count = static_cast<std::size_t>(static_cast<LONGLONG>(upper) - lower + 1);
        const HRESULT hr = sink_.BinaryWrite({static_cast<const BYTE*>(data), count});
        SafeArrayUnaccessData(array);
        return hr;
    }
    HRESULT STDMETHODCALLTYPE Flush() override { return sink_.Flush(); }

    // Members this host does not offer.
    HRESULT STDMETHODCALLTYPE get_Buffer(VARIANT_BOOL*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_Buffer(VARIANT_BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_ContentType(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Expires(VARIANT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_ExpiresAbsolute(VARIANT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_ExpiresAbsolute(DATE) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Cookies(IRequestDictionary**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Status(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_Status(BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Add(BSTR, BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE AppendToLog(BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Clear() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE End() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Redirect(BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Write(VARIANT) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE WriteBlock(SHORT) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE IsClientConnected(VARIANT_BOOL*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_CharSet(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_CharSet(BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Pics(BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_CacheControl(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_CacheControl(BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_CodePage(LONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_CodePage(LONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_LCID(LONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_LCID(LONG) override { return E_NOTIMPL; }

private:
    const IID& OwnIID() const override { return IID_IResponse; }
    TResponseSink& sink_;
};

class TScriptingContext final : public THostObject<IScriptingContext> {
public:
    explicit TScriptingContext(TResponseSink& sink) { response_.Attach(new TResponse(sink)); }

    HRESULT STDMETHODCALLTYPE get_Response(IResponse** ppResponse) override {
        return response_.CopyTo(ppResponse);
    }
    HRESULT STDMETHODCALLTYPE get_Request(IRequest**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Server(IServer**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Session(ISessionObject**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Application(IApplicationObject**) override { return E_NOTIMPL; }

private:
    const IID& OwnIID() const override { return IID_IScriptingContext; }
    ComPtr<IResponse> response_;
};

} // namespace

ComPtr<IScriptingContext> MakeScriptingContext(TResponseSink& sink) {
    ComPtr<IScriptingContext> context;
    context.Attach(new TScriptingContext(sink));
    return context;
}

// --- Late-bound calls ---------------------------------------------------------------------

namespace {

// EXCEPINFO filled by a failing Invoke, freed on every path.
struct TExcepInfo : EXCEPINFO {
    TExcepInfo() : EXCEPINFO{} {}
    ~TExcepInfo() {
        SysFreeString(bstrSource);
        SysFreeString(bstrDescription);
        SysFreeString(bstrHelpFile);
    }
    TExcepInfo(const TExcepInfo&) = delete;
    TExcepInfo& operator=(const TExcepInfo&) = delete;
};

DISPID MemberId(IDispatch* object, std::string_view name) {
    std::u16string wide = Utf8ToWide(name);
    LPOLESTR names[] = {wide.data()};
    DISPID id = DISPID_UNKNOWN;
    const HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (hr == DISP_E_UNKNOWNNAME || hr == DISP_E_MEMBERNOTFOUND)
        throw EUsageError("unknown property " + std::string(name));
    OleCheck(hr);
    return id;
}

// The failure of an Invoke: the object's own description when it raised, else the
// platform's message for the status.
[[noreturn]] void RaiseInvokeFailure(HRESULT hr, const TExcepInfo& info, std::string_view name) {
    if (hr == DISP_E_EXCEPTION) {
        const HRESULT code = info.scode != 0 ? info.scode : E_UNEXPECTED;
        std::string message = WideToUtf8({info.bstrDescription ? info.bstrDescription : u"",
                                          SysStringLen(info.bstrDescription)});
        if (message.empty()) message = SysErrorMessage(code);
        throw EOleSysError(std::string(name) + ": " + message, code);
    }
    std::string message = SysErrorMessage(hr);
    throw EOleSysError(std::string(name) + ": " + (message.empty() ? "failed" : message), hr);
}

} // namespace

void PutProperty(IDispatch* object, std::string_view name, std::string_view value) {
    const DISPID id = MemberId(object, name);
    const std::u16string wideValue = Utf8ToWide(value);
    VARIANTARG argument;
    VariantInit(&argument);
    V_VT(&argument) = VT_BSTR;
    V_BSTR(&argument) = SysAllocStringLen(wideValue.data(), static_cast<UINT>(wideValue.size()));
    if (V_BSTR(&argument) == nullptr) throw std::bad_alloc();
    DISPID putId = DISPID_PROPERTYPUT;
    DISPPARAMS params{&argument, &putId, 1, 1};
    TExcepInfo info;
    UINT argError = 0;
    const HRESULT hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT,
                                      &params, nullptr, &info, &argError);
    VariantClear(&argument);
    if (hr == DISP_E_TYPEMISMATCH || hr == DISP_E_OVERFLOW)
        throw EUsageError("value " + std::string(value) + " does not convert for property " +
                          std::string(name));
    if (hr == DISP_E_MEMBERNOTFOUND || hr == DISP_E_BADPARAMCOUNT)
        throw EUsageError(std::string(name) + " is not a property that can be set");
    if (FAILED(hr)) RaiseInvokeFailure(hr, info, name);
}

std::string GetPropertyText(IDispatch* object, std::string_view name) {
    const DISPID id = MemberId(object, name);
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    VARIANT value;
    VariantInit(&value);
    TExcepInfo info;
    UINT argError = 0;
    HRESULT hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none,
                                &value, &info, &argError);
    if (FAILED(hr)) RaiseInvokeFailure(hr, info, name);
    VARIANT text;
    VariantInit(&text);
    hr = VariantChangeType(&text, &value, 0, VT_BSTR);
    VariantClear(&value);
    if (FAILED(hr)) RaiseInvokeFailure(hr, info, name);
    std::string result =
        WideToUtf8({V_BSTR(&text) ? V_BSTR(&text) : u"", SysStringLen(V_BSTR(&text))});
    VariantClear(&text);
    return result;
}

std::vector<std::string> PropertyNames(IDispatch* object) {
    ComPtr<ITypeInfo> info;
    OleCheck(object->GetTypeInfo(0, LOCALE_USER_DEFAULT, info.GetAddressOf()));
    if (!info) throw EOleSysError("the object has no type information", E_NOTIMPL);
    TYPEATTR* attributes = nullptr;
    OleCheck(info->GetTypeAttr(&attributes));
    const UINT functions = attributes->cFuncs;
    info->ReleaseTypeAttr(attributes);
    std::vector<std::string> names;
    for (UINT i = 0; i < functions; ++i) {
        FUNCDESC* function = nullptr;
        OleCheck(info->GetFuncDesc(i, &function));
        const MEMBERID id = function->memid;
        const bool settable = function->invkind == INVOKE_PROPERTYPUT;
        info->ReleaseFuncDesc(function);
        if (!settable) continue;
        BStr name;
        UINT count = 0;
        OleCheck(info->GetNames(id, name.ReleaseAndGetAddressOf(), 1, &count));
        names.push_back(WideToUtf8(name.View()));
    }
    return names;
}

void CallMethod(IDispatch* object, std::string_view name, std::span<VARIANTARG> arguments) {
    const DISPID id = MemberId(object, name);
    // Invoke takes the arguments last one first.
    std::vector<VARIANTARG> reversed(arguments.rbegin(), arguments.rend());
    DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    TExcepInfo info;
    UINT argError = 0;
    const HRESULT hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                                      nullptr, &info, &argError);
    if (FAILED(hr)) RaiseInvokeFailure(hr, info, name);
}

void StartPage(IDispatch* object, IScriptingContext* context) {
    VARIANTARG argument;
    VariantInit(&argument);
    V_VT(&argument) = VT_UNKNOWN;
    V_UNKNOWN(&argument) = context; // borrowed for the call
    CallMethod(object, "OnStartPage", {&argument, 1});
}

void EndPage(IDispatch* object) {
    CallMethod(object, "OnEndPage");
}

void ShowBarcode(IDispatch* object) {
    CallMethod(object, "ShowBarcode");
}

LONG SaveBarcode(IDispatch* object, const std::string& fileName) {
    // A path is bytes: each byte widens to one character and narrows back to itself.
    BStr wideName(AnsiToWide(fileName).c_str());
    LONG result = 0;
    VARIANTARG arguments[2];
    VariantInit(&arguments[0]);
    V_VT(&arguments[0]) = VT_BSTR;
    V_BSTR(&arguments[0]) = wideName.Get(); // borrowed for the call
    VariantInit(&arguments[1]);
    V_VT(&arguments[1]) = VT_I4 | VT_BYREF;
    arguments[1].plVal = &result;
    CallMethod(object, "SaveBarcode", arguments);
    return result;
}

TRenderOutcome LastOutcome(IDispatch* object) {
    const std::string result = GetPropertyText(object, "LastResult");
    TRenderOutcome outcome;
    outcome.Result = static_cast<LONG>(std::stol(result));
    if (outcome.Failed()) outcome.Error = GetPropertyText(object, "LastError");
    return outcome;
}

TRenderOutcome RunBarcodePage(const TComponentLibrary& component,
                              std::span<const TPropertySetting> properties, TResponseSink& sink) {
    ComPtr<IScriptingContext> context = MakeScriptingContext(sink);
    ComPtr<IDispatch> barcode = component.CreateObject(CLSID_Quillax);
    StartPage(barcode.Get(), context.Get());
    for (const auto& [name, value] : properties)
        PutProperty(barcode.Get(), name, value);
    ShowBarcode(barcode.Get());
    TRenderOutcome outcome = LastOutcome(barcode.Get());
    EndPage(barcode.Get());
    return outcome;
}

} // namespace quillax::host
