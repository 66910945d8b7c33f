// Fuzz target: the barcode object as a script host reaches it, through IDispatch alone. The
// input is a sequence of calls: name lookups with any names, and invokes of any dispatch id
// (known or not) with any flags, argument counts, named arguments and variants of every type
// the platform converts (BSTRs with unpaired surrogates and NULs, numbers at their extremes and
// NaN, byref forms, byref variants into the call's own arguments, null interfaces). Page starts
// hand it a Response that records every call and may fail any of them; ShowBarcode streams into
// it and SaveBarcode writes into a private folder. Every call returns a status, nothing crashes
// or leaks, and once the object is released the server counts no live object.
#include "FuzzObject.h"
#include "FuzzResponse.h"

#include "apps/page/ComponentHost.h"
#include "platform/OleAuto.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

using namespace quillax;
namespace fs = std::filesystem;

namespace {

[[noreturn]] void Fail(const char* what, long value = 0) {
    fuzz::Fail("DispatchFuzz", what, value);
}

struct TMember {
    const char16_t* Name;
    DISPID Id;
};
// The members and their dispatch ids, written out here so that a lookup is checked against
// the interface as scripts know it, not against the component's own table.
constexpr TMember kMembers[] = {
    {u"OnStartPage", 201},    {u"OnEndPage", 202},   {u"ShowBarcode", 203},
    {u"ImageTypeStr", 204},   {u"BarcodeType", 205}, {u"Orientation", 206},
    {u"Data", 208},           {u"Checksum", 209},    {u"NarrowBarWidth", 210},
    {u"ShowText", 211},       {u"Height", 213},      {u"BGColor", 214},
    {u"Ratio", 215},          {u"ImageType", 216},   {u"BarColor", 217},
    {u"ChecksumMethod", 218}, {u"SaveBarcode", 219}, {u"LastResult", 220},
    {u"LastError", 221},      {u"Layout", 222},      {u"QuietZone", 223},
    {u"Resolution", 224},     {u"XDimension", 225},  {u"ActualXDimension", 226},
};
// Parameter names a lookup may ask for after a member's name.
constexpr const char16_t* kParameterNames[] = {u"FileName", u"Result", u"AScriptingContext",
                                               u"Value"};

// The folder SaveBarcode writes into: a memory file system where there is one, since every
// saved file is synced.
const fs::path& SaveFolder() {
    static const fs::path folder = [] {
        const fs::path base = fs::is_directory("/dev/shm") ? "/dev/shm" : fs::temp_directory_path();
        std::string pattern = (base / "quillax-dispatch-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) Fail("cannot make the save folder");
        std::atexit([] { fs::remove_all(SaveFolder()); });
        return fs::path(pattern);
    }();
    return folder;
}

// What one Invoke's arguments point at, owned here and freed after the call: a variant that a
// byref VARIANT names, or (Scalar) the value field that a byref form names, its vt telling
// what the field holds.
struct TStorage {
    VARIANT Value;
    bool Scalar = false;
    TStorage() { VariantInit(&Value); }
    ~TStorage() {
        if (!Scalar) {
            VariantClear(&Value);
        } else if (V_VT(&Value) == VT_BSTR) {
            SysFreeString(Value.bstrVal);
        } else if (V_VT(&Value) == VT_UNKNOWN && Value.punkVal) {
            Value.punkVal->Release();
        }
    }
    TStorage(const TStorage&) = delete;
    TStorage& operator=(const TStorage&) = delete;
};

class TSession {
public:
    TSession(FuzzedDataProvider& in, IDispatch* object, IQuillax* quillax)
        : in_(in), object_(object), quillax_(quillax),
          response_(in.ConsumeIntegralInRange(0, 6), PickFailure()),
          context_(host::MakeScriptingContext(response_)) {}

    void Run() {
        for (int step = 0; step < 24 && in_.remaining_bytes() > 0; ++step) {
            switch (in_.ConsumeIntegralInRange(0, 5)) {
            case 0:
                LookUp();
                break;
            case 1:
                StartPage();
                break;
            case 2:
            case 3:
                Invoke(PickDispId());
                break;
            case 4:
                Invoke(in_.ConsumeBool() ? DISPID_ShowBarcode : DISPID_SaveBarcode);
                break;
            default:
                AskInterfaces();
                break;
            }
        }
    }

private:
    HRESULT PickFailure() {
        static constexpr HRESULT kFailures[] = {E_FAIL, E_OUTOFMEMORY, HRESULT(0x80070040),
                                                HRESULT(0x800A01A8)};
        return kFailures[in_.ConsumeIntegralInRange<std::size_t>(0, 3)];
    }

    DISPID PickDispId() {
        switch (in_.ConsumeIntegralInRange(0, 3)) {
        case 0:
            return in_.ConsumeIntegral<DISPID>();
        case 1:
            return in_.PickValueInArray(
                {DISPID_VALUE, DISPID_UNKNOWN, DISPID_PROPERTYPUT, 207, 212, 222, 200});
        default:
            return in_.PickValueInArray(kMembers).Id;
        }
    }

    // Text as a script might send it: any code units, surrogates and NULs included, or a
    // member's name in any case.
    std::u16string ConsumeText(std::size_t maxUnits) {
        std::u16string text;
        if (in_.ConsumeBool()) {
            for (const char16_t* p = in_.PickValueInArray(kMembers).Name; *p; ++p)
                text += *p < 0x80 && in_.ConsumeBool() ? char16_t(*p ^ 0x20) : *p;
            return text;
        }
        const std::size_t units = in_.ConsumeIntegralInRange<std::size_t>(0, maxUnits);
        for (std::size_t i = 0; i < units && in_.remaining_bytes() > 0; ++i) {
            const uint8_t kind = in_.ConsumeIntegral<uint8_t>();
            if (kind < 160)
                text += char16_t(0x20 + kind % 95); // printable ASCII
            else if (kind < 200)
                text += char16_t(in_.ConsumeIntegral<uint16_t>());
            else
                text += in_.PickValueInArray<char16_t>(
                    {0, 0xD800, 0xDC00, 0xDBFF, 0xFFFD, 0xFFFF, 0x20AC, 0x00E9, 0x0100});
        }
        return text;
    }

    BSTR ConsumeBstr(std::size_t maxUnits) {
        const std::u16string text = ConsumeText(maxUnits);
        return SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    }

    // A file name in the save folder: its last part is any text without a separator, so the
    // name may lose characters in the code page or carry a NUL, but never leaves the folder.
    BSTR ConsumeSaveName() {
        std::u16string name = ConsumeText(12);
        for (char16_t& c : name)
            if (c == u'/' || c == u'\\') c = u'_';
        if (name == u"." || name == u"..") name = u"x";
        const std::string folder = SaveFolder().string() + "/";
        std::u16string path(folder.begin(), folder.end());
        path += name;
        return SysAllocStringLen(path.data(), static_cast<UINT>(path.size()));
    }

    double ConsumeReal() {
        return in_.PickValueInArray<double>(
            {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
             -std::numeric_limits<double>::infinity(), std::numeric_limits<double>::max(),
             std::numeric_limits<double>::denorm_min(), -0.0, 0.5, 1.5, 2.5, -2.5, 2147483647.5,
             -2147483648.5, 4294967296.0, double(in_.ConsumeIntegral<int32_t>()),
             in_.ConsumeFloatingPoint<double>()});
    }

    IUnknown* ConsumeInterface() {
        switch (in_.ConsumeIntegralInRange(0, 2)) {
        case 0:
            return nullptr;
        case 1:
            context_->AddRef();
            return context_.Get();
        default:
            object_->AddRef();
            return object_;
        }
    }

    // One argument. Byref forms point into storage, or (for VARIANT) at an argument of the
    // same call, itself included.
    void ConsumeArgument(VARIANT& arg, std::vector<VARIANT>& args) {
        VariantInit(&arg);
        const int kind = in_.ConsumeIntegralInRange(0, 17);
        switch (kind) {
        case 0:
            return;
        case 1:
            arg.vt = VT_NULL;
            return;
        case 2:
            arg.vt = VT_I2, arg.iVal = in_.PickValueInArray<SHORT>(
                                {0, 1, -1, 32767, -32768, in_.ConsumeIntegral<SHORT>()});
            return;
        case 3:
        case 4:
            arg.vt = kind == 3 ? VT_I4 : VT_INT;
            arg.lVal = in_.PickValueInArray<LONG>({0, 1, -1, 2147483647, -2147483647 - 1, 255, 256,
                                                   90, 360, in_.ConsumeIntegral<LONG>()});
            return;
        case 5:
            arg.vt = VT_UI1, arg.bVal = in_.ConsumeIntegral<BYTE>();
            return;
        case 6:
            arg.vt = VT_R8, arg.dblVal = ConsumeReal();
            return;
        case 7:
            arg.vt = VT_BOOL, arg.boolVal = in_.PickValueInArray<VARIANT_BOOL>(
                                  {VARIANT_TRUE, VARIANT_FALSE, 1, in_.ConsumeIntegral<SHORT>()});
            return;
        case 8:
            arg.vt = VT_BSTR, arg.bstrVal = in_.ConsumeBool() ? ConsumeBstr(48) : nullptr;
            return;
        case 9:
        case 10:
            arg.vt = kind == 9 ? VT_DISPATCH : VT_UNKNOWN, arg.punkVal = ConsumeInterface();
            return;
        case 11:
            arg.vt = VT_ERROR,
            arg.scode = in_.PickValueInArray<SCODE>({DISP_E_PARAMNOTFOUND, S_OK, E_FAIL});
            return;
        case 12: {
            SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, in_.ConsumeIntegralInRange(0, 8));
            if (!array) return;
            arg.vt = VT_ARRAY | VT_UI1, arg.parray = array;
            return;
        }
        case 13: // a type the platform does not convert, with any value
            arg.vt = in_.PickValueInArray<VARTYPE>({VT_R4, VT_CY, VT_DATE, VT_DECIMAL, VT_I1,
                                                    VT_UI2, VT_UI4, VT_I8, VT_UI8, VT_UINT, VT_VOID,
                                                    VT_HRESULT, 15, 0x0FFF});
            arg.llVal = in_.ConsumeIntegral<LONGLONG>();
            return;
        case 14: { // a byref VARIANT at another argument of this call, or at itself
            const std::size_t at = in_.ConsumeIntegralInRange<std::size_t>(0, args.size() - 1);
            arg.vt = VT_VARIANT | VT_BYREF, arg.pvarVal = &args[at];
            return;
        }
        case 15: { // a byref VARIANT at a value of its own
            TStorage& target = storage_.emplace_back();
            ConsumeArgument(target.Value, args);
            arg.vt = VT_VARIANT | VT_BYREF, arg.pvarVal = &target.Value;
            return;
        }
        default: { // a byref scalar, string or interface
            TStorage& target = storage_.emplace_back();
            target.Scalar = true;
            VARIANT& value = target.Value;
            const VARTYPE base = in_.PickValueInArray<VARTYPE>(
                {VT_I2, VT_I4, VT_INT, VT_UI1, VT_R8, VT_BOOL, VT_BSTR, VT_UNKNOWN, VT_DISPATCH});
            value.vt = base == VT_DISPATCH ? VT_UNKNOWN : base;
            if (base == VT_BSTR)
                value.bstrVal = in_.ConsumeBool() ? ConsumeBstr(32) : nullptr;
            else if (base == VT_UNKNOWN || base == VT_DISPATCH)
                value.punkVal = ConsumeInterface();
            else if (base == VT_R8)
                value.dblVal = ConsumeReal();
            else
                value.llVal = in_.ConsumeIntegral<LONGLONG>();
            arg.vt = base | VT_BYREF;
            arg.byref = &value.llVal;
            return;
        }
        }
    }

    void LookUp() {
        const UINT count = in_.ConsumeIntegralInRange<UINT>(0, 3);
        std::vector<std::u16string> names;
        for (UINT i = 0; i < count; ++i)
            names.push_back(i > 0 && in_.ConsumeBool() ? in_.PickValueInArray(kParameterNames)
                                                       : ConsumeText(24));
        std::vector<LPOLESTR> pointers;
        for (std::u16string& name : names)
            pointers.push_back(in_.ConsumeIntegralInRange(0, 15) == 0 ? nullptr : name.data());
        std::vector<DISPID> ids(count, 12345);
        const HRESULT hr = object_->GetIDsOfNames(IID_NULL, pointers.data(), count,
                                                  LOCALE_USER_DEFAULT, ids.data());
        if (count == 0 || !pointers[0]) return;
        // A member's own name, in any case, always finds its id.
        const std::u16string_view first(pointers[0]);
        for (const TMember& member : kMembers) {
            const std::u16string_view name(member.Name);
            const bool same =
                name.size() == first.size() &&
                std::equal(name.begin(), name.end(), first.begin(),
                           [](char16_t a, char16_t b) { return (a | 0x20) == (b | 0x20); });
            if (same && ids[0] != member.Id) Fail("a member's name gave another id", ids[0]);
        }
        if (hr != S_OK && hr != DISP_E_UNKNOWNNAME) Fail("unexpected lookup status", hr);
    }

    // OnStartPage through Invoke, with the recording context in one of its forms.
    void StartPage() {
        std::vector<VARIANT> args(1);
        VARIANT& arg = args[0];
        VariantInit(&arg);
        context_->AddRef();
        if (in_.ConsumeBool()) {
            arg.vt = in_.ConsumeBool() ? VT_UNKNOWN : VT_DISPATCH, arg.punkVal = context_.Get();
        } else {
            TStorage& target = storage_.emplace_back();
            target.Value.vt = VT_UNKNOWN, target.Value.punkVal = context_.Get();
            arg.vt = VT_VARIANT | VT_BYREF, arg.pvarVal = &target.Value;
        }
        Call(DISPID_OnStartPage, DISPATCH_METHOD, args, {});
    }

    void Invoke(DISPID id) {
        const WORD flags =
            in_.ConsumeBool()
                ? in_.PickValueInArray<WORD>({DISPATCH_METHOD, DISPATCH_PROPERTYGET,
                                              DISPATCH_PROPERTYPUT, DISPATCH_PROPERTYPUTREF,
                                              DISPATCH_METHOD | DISPATCH_PROPERTYGET})
                : in_.ConsumeIntegral<WORD>();
        const std::size_t count = in_.ConsumeIntegralInRange<std::size_t>(0, 4);
        std::vector<VARIANT> args(count);
        for (VARIANT& arg : args)
            ConsumeArgument(arg, args);
        std::vector<DISPID> named(in_.ConsumeIntegralInRange<std::size_t>(0, count));
        for (DISPID& name : named)
            name = in_.PickValueInArray<DISPID>(
                {DISPID_PROPERTYPUT, 0, 1, 2, in_.ConsumeIntegral<DISPID>()});
        if (id == DISPID_SaveBarcode) KeepNameInFolder(args, named);
        Call(id, flags, args, named);
    }

    // SaveBarcode's FileName, wherever the arguments put it, names a file in the save folder.
    void KeepNameInFolder(std::vector<VARIANT>& args, const std::vector<DISPID>& named) {
        if (args.empty()) return;
        std::size_t at = args.size() - 1; // the first positional argument
        for (std::size_t j = 0; j < named.size(); ++j)
            if (named[j] == 0) at = j;
        VARIANT& arg = args[at];
        VariantClear(&arg); // byref forms own nothing; their targets stay in storage
        if (in_.ConsumeBool()) {
            arg.vt = VT_BSTR, arg.bstrVal = ConsumeSaveName();
            return;
        }
        TStorage& target = storage_.emplace_back();
        if (in_.ConsumeBool()) {
            target.Scalar = true;
            target.Value.vt = VT_BSTR, target.Value.bstrVal = ConsumeSaveName();
            arg.vt = VT_BSTR | VT_BYREF, arg.pbstrVal = &target.Value.bstrVal;
        } else {
            target.Value.vt = VT_BSTR, target.Value.bstrVal = ConsumeSaveName();
            arg.vt = VT_VARIANT | VT_BYREF, arg.pvarVal = &target.Value;
        }
    }

    // Keeps a render cheap: sizes the fuzzer would only wait for are brought into a small
    // range through the dual interface (the hostile ones have tests of their own).
    void KeepRenderSmall() {
        LONG value = 0;
        if (quillax_->get_Height(&value) == S_OK && value > 120) quillax_->put_Height(value % 121);
        if (quillax_->get_NarrowBarWidth(&value) == S_OK && value > 6)
            quillax_->put_NarrowBarWidth(value % 7);
        if (quillax_->get_Ratio(&value) == S_OK && value > 6) quillax_->put_Ratio(value % 7);
        BSTR data = nullptr;
        if (quillax_->get_Data(&data) == S_OK && SysStringLen(data) > 40) {
            BSTR shorter = SysAllocStringLen(data, 40);
            quillax_->put_Data(shorter);
            SysFreeString(shorter);
        }
        SysFreeString(data);
    }

    void Call(DISPID id, WORD flags, std::vector<VARIANT>& args, std::vector<DISPID> named) {
        if (id == DISPID_ShowBarcode || id == DISPID_SaveBarcode) KeepRenderSmall();
        DISPPARAMS params{args.data(), named.data(), static_cast<UINT>(args.size()),
                          static_cast<UINT>(named.size())};
        if (args.empty()) params.rgvarg = nullptr;
        if (named.empty()) params.rgdispidNamedArgs = nullptr;
        VARIANT result;
        VariantInit(&result);
        if (in_.ConsumeBool()) result.vt = VT_BSTR, result.bstrVal = SysAllocString(u"stale");
        EXCEPINFO info{};
        UINT argError = 0xFFFFFFFF;
        const bool wantResult = in_.ConsumeBool(), wantInfo = in_.ConsumeBool();
        response_.Begin();
        const HRESULT hr = object_->Invoke(
            id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, wantResult ? &result : nullptr,
            wantInfo ? &info : nullptr, in_.ConsumeBool() ? &argError : nullptr);
        if (id == DISPID_ShowBarcode) response_.Check(hr, wantInfo ? &info : nullptr);
        CheckStatus(hr, wantInfo ? &info : nullptr);
        if (hr == S_OK && id == DISPID_SaveBarcode) CheckSaveFolder();
        SysFreeString(info.bstrSource);
        SysFreeString(info.bstrDescription);
        SysFreeString(info.bstrHelpFile);
        VariantClear(&result);
        for (VARIANT& arg : args)
            VariantClear(&arg);
        storage_.clear();
        SetErrorInfo(0, nullptr);
    }

    // Invoke answers with one of the statuses of dispatch; a member's failure comes as an
    // exception whose record names the class and says what went wrong.
    static void CheckStatus(HRESULT hr, const EXCEPINFO* info) {
        static constexpr HRESULT kStatuses[] = {S_OK,
                                                DISP_E_EXCEPTION,
                                                DISP_E_MEMBERNOTFOUND,
                                                DISP_E_BADPARAMCOUNT,
                                                DISP_E_PARAMNOTFOUND,
                                                DISP_E_PARAMNOTOPTIONAL,
                                                DISP_E_TYPEMISMATCH,
                                                DISP_E_OVERFLOW,
                                                DISP_E_BADVARTYPE,
                                                E_INVALIDARG,
                                                E_OUTOFMEMORY};
        if (std::find(std::begin(kStatuses), std::end(kStatuses), hr) == std::end(kStatuses))
            Fail("Invoke answered with a status of its own", hr);
        if (hr != DISP_E_EXCEPTION || !info) return;
        if (SUCCEEDED(info->scode)) Fail("an exception without a failure status", info->scode);
        if (!info->bstrSource || std::u16string_view(info->bstrSource) != u"Kemrin_Quillax.Quillax")
            Fail("an exception that does not name the class", info->scode);
        if (SysStringLen(info->bstrDescription) == 0)
            Fail("an exception without a description", info->scode);
    }

    // A save leaves no temporary file behind, whatever happened to it.
    void CheckSaveFolder() const {
        for (const fs::directory_entry& entry : fs::directory_iterator(SaveFolder()))
            if (entry.path().filename().string().starts_with(".quillax-"))
                Fail("a temporary file was left behind");
    }

    void AskInterfaces() {
        static const IID kInterfaces[] = {
            IID_IUnknown,   IID_IDispatch,         IID_IQuillax,
            IID_IQuillax2,  IID_ISupportErrorInfo, IID_IProvideClassInfo,
            IID_IPageHooks, IID_IClassFactory,     IID_NULL};
        const IID& iid = in_.PickValueInArray(kInterfaces);
        IUnknown* answer = nullptr;
        if (SUCCEEDED(object_->QueryInterface(iid, reinterpret_cast<void**>(&answer)))) {
            if (!answer) Fail("QueryInterface succeeded without an interface");
            answer->Release();
        } else if (answer) {
            Fail("a failed QueryInterface left an interface");
        }
        ITypeInfo* info = reinterpret_cast<ITypeInfo*>(1);
        const UINT index = in_.ConsumeIntegralInRange<UINT>(0, 2);
        const HRESULT hr = object_->GetTypeInfo(index, LOCALE_USER_DEFAULT, &info);
        if (SUCCEEDED(hr) && info) info->Release();
        if (FAILED(hr) && info) Fail("a failed GetTypeInfo left its output", hr);
    }

    FuzzedDataProvider& in_;
    IDispatch* object_;
    IQuillax* quillax_;
    fuzz::TFuzzResponse response_;
    ComPtr<IScriptingContext> context_;
    std::deque<TStorage> storage_;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    {
        ComPtr<IDispatch> object = fuzz::NewBarcodeObject();
        ComPtr<IQuillax> quillax;
        if (FAILED(object->QueryInterface(IID_IQuillax,
                                          reinterpret_cast<void**>(quillax.GetAddressOf()))))
            Fail("no IQuillax");
        TSession(in, object.Get(), quillax.Get()).Run();
    }
    fuzz::CheckNoObjectLeft("DispatchFuzz");
    for (const fs::directory_entry& entry : fs::directory_iterator(SaveFolder()))
        fs::remove_all(entry.path());
    return 0;
}
