// Late-bound calls through IDispatch.
#include "apps/page/LateBound.h"

#include "platform/AnsiCodePage.h"
#include "platform/Utf8.h"

#include <vector>

namespace quillax::host {

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
    std::u16string wide = Utf8ToUtf16Replacing(name);
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
        std::string message =
            Utf16ToUtf8Replacing({info.bstrDescription ? info.bstrDescription : u"",
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
    const std::u16string wideValue = Utf8ToUtf16Replacing(value);
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
        Utf16ToUtf8Replacing({V_BSTR(&text) ? V_BSTR(&text) : u"", SysStringLen(V_BSTR(&text))});
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
        names.push_back(Utf16ToUtf8Replacing(name.View()));
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

} // namespace quillax::host
