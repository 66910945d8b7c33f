// A page host for the component on Windows: what a script cannot do, done as the web
// server's scripting host and compiled clients do it. It creates Kemrin_Quillax.Quillax by
// ProgID, sets each case's properties by name through IDispatch, renders it into a
// Response object of its own (ShowBarcode) and into a file with a typed Result
// (SaveBarcode), and holds the bytes and the step codes (Result and LastResult) against the
// Linux build's. It also checks the dispatch rules a script host relies on, the interfaces
// the object answers, and that a failing Response call's status and error record reach the
// caller.
//
//   quillax_host CASES REFERENCE-FOLDER RESULTS OUTPUT-FOLDER
//
// RESULTS holds "name code" lines: the step code the Linux build reported for each case.
// Prints "N passed, M failed" last.
#include "hosting/ASPTlb.h"
#include "hosting/Kemrin_Quillax_TLB.h"
#include "platform/AnsiCodePage.h"

#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

using namespace quillax;

namespace {

int passed = 0;
int failed = 0;

template <class T>
void Check(const std::string& what, const T& actual, const T& expected) {
    if (actual == expected) {
        ++passed;
        return;
    }
    ++failed;
    std::ostringstream text;
    text << "FAIL " << what << ": expected [" << expected << "], got [" << actual << "]";
    std::puts(text.str().c_str());
}

void CheckStatus(const std::string& what, HRESULT actual, HRESULT expected) {
    char a[16], e[16];
    std::snprintf(a, sizeof a, "0x%08lX", static_cast<unsigned long>(actual));
    std::snprintf(e, sizeof e, "0x%08lX", static_cast<unsigned long>(expected));
    Check<std::string>(what, a, e);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// The IUnknown and IDispatch members of an object that lives on the host's stack for one
// case: it answers for its own interface only, counts no references and is not scriptable.
template <class Interface, const IID& Iid>
class TStaticDispatch : public Interface {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IUnknown || riid == IID_IDispatch || riid == Iid) {
            *ppv = this;
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                     UINT*) override {
        return E_NOTIMPL;
    }
};

// A Response object that records the calls the component makes; one call may be set to fail.
class TResponse final : public TStaticDispatch<IResponse, IID_IResponse> {
public:
    std::vector<std::string> Calls;
    std::string Body;
    std::string FailingCall; // fails with E_ACCESSDENIED and an error record

    HRESULT STDMETHODCALLTYPE get_Buffer(VARIANT_BOOL*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_Buffer(VARIANT_BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_ContentType(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_ContentType(BSTR type) override {
        return Record("ContentType " + BstrToAnsi(type));
    }
    HRESULT STDMETHODCALLTYPE get_Expires(VARIANT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_Expires(LONG minutes) override {
        return Record("Expires " + std::to_string(minutes));
    }
    HRESULT STDMETHODCALLTYPE get_ExpiresAbsolute(VARIANT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_ExpiresAbsolute(DATE) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Cookies(IRequestDictionary**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Status(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_Status(BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Add(BSTR, BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE AddHeader(BSTR name, BSTR value) override {
        return Record("AddHeader " + BstrToAnsi(name) + ": " + BstrToAnsi(value));
    }
    HRESULT STDMETHODCALLTYPE AppendToLog(BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE BinaryWrite(VARIANT input) override {
        if (V_VT(&input) != (VT_ARRAY | VT_UI1) || SafeArrayGetDim(V_ARRAY(&input)) != 1)
            return Record("BinaryWrite of type " + std::to_string(V_VT(&input)));
        void* data = nullptr;
        LONG lower = 0, upper = -1;
        SafeArrayGetLBound(V_ARRAY(&input), 1, &lower);
        SafeArrayGetUBound(V_ARRAY(&input), 1, &upper);
        if (FAILED(SafeArrayAccessData(V_ARRAY(&input), &data))) return E_UNEXPECTED;
        Body.assign(static_cast<const char*>(data), static_cast<size_t>(upper - lower + 1));
        SafeArrayUnaccessData(V_ARRAY(&input));
        return Record("BinaryWrite from " + std::to_string(lower));
    }
    HRESULT STDMETHODCALLTYPE Clear() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE End() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Flush() override { return Record("Flush"); }
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
    HRESULT Record(const std::string& call) {
        Calls.push_back(call);
        if (FailingCall.empty() || call.rfind(FailingCall, 0) != 0) return S_OK;
        ComPtr<ICreateErrorInfo> record;
        ComPtr<IErrorInfo> info;
        if (SUCCEEDED(CreateErrorInfo(record.GetAddressOf()))) {
            record->SetDescription(const_cast<LPOLESTR>(L"The client went away"));
            if (SUCCEEDED(record.As(IID_IErrorInfo, &info))) SetErrorInfo(0, info.Get());
        }
        return E_ACCESSDENIED;
    }
};

// The page's scripting context: hands out the one Response object.
class TScriptingContext final : public TStaticDispatch<IScriptingContext, IID_IScriptingContext> {
public:
    explicit TScriptingContext(TResponse& response) : response_(response) {}
    HRESULT STDMETHODCALLTYPE get_Request(IRequest**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Response(IResponse** response) override {
        *response = &response_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Server(IServer**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Session(ISessionObject**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Application(IApplicationObject**) override { return E_NOTIMPL; }

private:
    TResponse& response_;
};

ComPtr<IQuillax2> NewQuillax() {
    CLSID clsid{};
    ComPtr<IQuillax2> quillax;
    if (SUCCEEDED(CLSIDFromProgID(L"Kemrin_Quillax.Quillax", &clsid)))
        CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IQuillax2,
                         reinterpret_cast<void**>(quillax.GetAddressOf()));
    return quillax;
}

// The last render's step code, and whether its message is there exactly when it failed.
void CheckLastOutcome(const std::string& what, IQuillax2* quillax, LONG expected) {
    LONG result = -1;
    BStr error;
    CheckStatus(what + " LastResult", quillax->get_LastResult(&result), S_OK);
    CheckStatus(what + " LastError", quillax->get_LastError(error.ReleaseAndGetAddressOf()), S_OK);
    Check(what + " LastResult", result, expected);
    Check(what + " LastError says what failed", !BstrToAnsi(error.Get()).empty(), expected != 0);
}

DISPID IdOf(IDispatch* object, const std::string& name) {
    OleString wide = AnsiToWide(name);
    LPOLESTR names[] = {wide.data()};
    DISPID id = DISPID_UNKNOWN;
    object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    return id;
}

// A property put by name with the value as text, as a script host passes it.
HRESULT PutText(IDispatch* object, const std::string& name, const std::string& value,
                WORD flags = DISPATCH_PROPERTYPUT) {
    VARIANT argument;
    VariantInit(&argument);
    V_VT(&argument) = VT_BSTR;
    V_BSTR(&argument) = AnsiToBstr(value);
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params{&argument, &named, 1, 1};
    const HRESULT hr = object->Invoke(IdOf(object, name), IID_NULL, LOCALE_USER_DEFAULT, flags,
                                      &params, nullptr, nullptr, nullptr);
    VariantClear(&argument);
    return hr;
}

// SaveBarcode through IDispatch with Result as a typed reference (VT_I4 | VT_BYREF).
HRESULT SaveThroughDispatch(IDispatch* object, const std::string& file, LONG* result) {
    VARIANT arguments[2];
    VariantInit(&arguments[0]);
    VariantInit(&arguments[1]);
    V_VT(&arguments[0]) = VT_I4 | VT_BYREF; // the last argument comes first
    arguments[0].plVal = result;
    V_VT(&arguments[1]) = VT_BSTR;
    V_BSTR(&arguments[1]) = AnsiToBstr(file);
    DISPPARAMS params{arguments, nullptr, 2, 0};
    const HRESULT hr = object->Invoke(IdOf(object, "SaveBarcode"), IID_NULL, LOCALE_USER_DEFAULT,
                                      DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
    VariantClear(&arguments[1]);
    return hr;
}

std::string ContentTypeOf(const std::string& name) {
    const std::string extension = name.substr(name.rfind('.') + 1);
    return extension == "jpg"   ? "image/jpeg"
           : extension == "png" ? "image/png"
           : extension == "svg" ? "image/svg+xml"
                                : "image/bmp";
}

struct TCase {
    std::string Name;
    std::vector<std::pair<std::string, std::string>> Properties;
};

std::vector<TCase> ReadCases(const std::string& path) {
    std::vector<TCase> cases;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        TCase c;
        std::getline(fields, c.Name, '|');
        for (std::string field; std::getline(fields, field, '|');) {
            const size_t equals = field.find('=');
            c.Properties.emplace_back(field.substr(0, equals), field.substr(equals + 1));
        }
        cases.push_back(c);
    }
    return cases;
}

// Every case rendered into the page's response and into a file with its step code.
void CheckCases(const std::string& casesPath, const std::string& references,
                const std::string& resultsPath, const std::string& output) {
    std::map<std::string, LONG> expectedResults;
    std::ifstream results(resultsPath);
    for (std::string name; results >> name;)
        results >> expectedResults[name];
    for (const TCase& c : ReadCases(casesPath)) {
        TResponse response;
        TScriptingContext context(response);
        ComPtr<IQuillax2> quillax = NewQuillax();
        if (!quillax) {
            Check<std::string>(c.Name + " created", "no object", "object");
            continue;
        }
        CheckStatus(c.Name + " OnStartPage", quillax->OnStartPage(&context), S_OK);
        for (const auto& [name, value] : c.Properties)
            CheckStatus(c.Name + " " + name, PutText(quillax.Get(), name, value), S_OK);

        CheckStatus(c.Name + " ShowBarcode", quillax->ShowBarcode(), S_OK);
        const std::string reference = ReadFile(references + "\\" + c.Name);
        Check(c.Name + " response body equals the Linux build's file", response.Body == reference,
              true);
        std::vector<std::string> calls;
        if (ContentTypeOf(c.Name) == "image/jpeg") calls.push_back("Expires 0");
        calls.push_back("AddHeader Content-Length: " + std::to_string(reference.size()));
        calls.push_back("ContentType " + ContentTypeOf(c.Name));
        calls.push_back("BinaryWrite from 0");
        calls.push_back("Flush");
        Check(c.Name + " response calls", response.Calls == calls, true);
        CheckLastOutcome(c.Name + " after ShowBarcode", quillax.Get(), expectedResults[c.Name]);

        LONG result = -1;
        const std::string file = output + "\\" + c.Name;
        CheckStatus(c.Name + " SaveBarcode", SaveThroughDispatch(quillax.Get(), file, &result),
                    S_OK);
        Check(c.Name + " Result", result, expectedResults[c.Name]);
        Check(c.Name + " saved file equals the Linux build's", ReadFile(file) == reference, true);
        result = -1;
        CheckStatus(c.Name + " SaveBarcode early-bound",
                    quillax->SaveBarcode(BStr(AnsiToWide(file).c_str()).Get(), &result), S_OK);
        Check(c.Name + " early-bound Result", result, expectedResults[c.Name]);
        CheckLastOutcome(c.Name + " after SaveBarcode", quillax.Get(), expectedResults[c.Name]);
        CheckStatus(c.Name + " OnEndPage", quillax->OnEndPage(), S_OK);
    }
}

// A Response call that fails ends ShowBarcode with the host's status and description.
void CheckFailingResponse() {
    for (const char* failing : {"AddHeader", "ContentType", "BinaryWrite", "Flush"}) {
        TResponse response;
        response.FailingCall = failing;
        TScriptingContext context(response);
        ComPtr<IQuillax2> quillax = NewQuillax();
        if (!quillax) return;
        quillax->OnStartPage(&context);
        CheckStatus(std::string("ShowBarcode when ") + failing + " fails", quillax->ShowBarcode(),
                    E_ACCESSDENIED);
        ComPtr<IErrorInfo> record;
        BStr description;
        if (GetErrorInfo(0, record.GetAddressOf()) == S_OK && record)
            record->GetDescription(description.ReleaseAndGetAddressOf());
        Check(std::string("error record when ") + failing + " fails", BstrToAnsi(description.Get()),
              std::string("The client went away"));
        Check(std::string("no call after ") + failing, response.Calls.back().rfind(failing, 0),
              size_t(0));
    }
}

// The dispatch rules that script hosts rely on.
void CheckDispatch() {
    ComPtr<IQuillax2> quillax = NewQuillax();
    if (!quillax) return;
    Check("lower-case name", IdOf(quillax.Get(), "showbarcode"), DISPID(DISPID_ShowBarcode));
    Check("a member of IQuillax2", IdOf(quillax.Get(), "lasterror"), DISPID(DISPID_LastError));
    CheckStatus("LastResult cannot be set", PutText(quillax.Get(), "LastResult", "1"),
                DISP_E_MEMBERNOTFOUND);
    Check("the print settings follow", IdOf(quillax.Get(), "layout"), DISPID(DISPID_Layout));
    CheckStatus("ActualXDimension cannot be set", PutText(quillax.Get(), "ActualXDimension", "1"),
                DISP_E_MEMBERNOTFOUND);
    // A double through IDispatch and back through the function table: 0.33 mm at 300 dpi is
    // 4 pixels, 0.3387 mm.
    CheckStatus("put Resolution", PutText(quillax.Get(), "Resolution", "300"), S_OK);
    CheckStatus("put XDimension", PutText(quillax.Get(), "XDimension", "0.33"), S_OK);
    DOUBLE x = 0, actual = 0;
    CheckStatus("get XDimension", quillax->get_XDimension(&x), S_OK);
    CheckStatus("get ActualXDimension", quillax->get_ActualXDimension(&actual), S_OK);
    Check("XDimension as set", x, 0.33);
    Check("ActualXDimension in ten-thousandths", static_cast<long>(actual * 10000 + 0.5), 3387L);

    // The classic interface is the same object's, through the same function table.
    ComPtr<IQuillax> classic;
    CheckStatus("IQuillax", quillax.As(IID_IQuillax, &classic), S_OK);
    Check("IQuillax begins IQuillax2's function table",
          static_cast<void*>(classic.Get()) == static_cast<void*>(quillax.Get()), true);
    Check("unknown name", IdOf(quillax.Get(), "Nonsense"), DISPID(DISPID_UNKNOWN));

    ITypeInfo* info = reinterpret_cast<ITypeInfo*>(0x1234);
    CheckStatus("GetTypeInfo(1)", quillax->GetTypeInfo(1, 0, &info), DISP_E_BADINDEX);
    Check("GetTypeInfo(1) clears its output", info == nullptr, true);
    UINT count = 0;
    quillax->GetTypeInfoCount(&count);
    Check("GetTypeInfoCount", count, UINT(1));

    CheckStatus("put by reference", PutText(quillax.Get(), "Height", "77", DISPATCH_PROPERTYPUTREF),
                S_OK);
    LONG height = 0;
    quillax->get_Height(&height);
    Check("put by reference reaches the setter", height, LONG(77));

    ComPtr<ISupportErrorInfo> support;
    CheckStatus("ISupportErrorInfo", quillax.As(IID_ISupportErrorInfo, &support), S_OK);
    if (support) {
        CheckStatus("errors of IQuillax", support->InterfaceSupportsErrorInfo(IID_IQuillax), S_OK);
        CheckStatus("errors of IQuillax2", support->InterfaceSupportsErrorInfo(IID_IQuillax2),
                    S_OK);
        CheckStatus("errors of IClassFactory",
                    support->InterfaceSupportsErrorInfo(IID_IClassFactory), S_FALSE);
    }
    ComPtr<IProvideClassInfo> classInfo;
    CheckStatus("IProvideClassInfo", quillax.As(IID_IProvideClassInfo, &classInfo), S_OK);
    if (classInfo) {
        ComPtr<ITypeInfo> coclass;
        classInfo->GetClassInfo(coclass.GetAddressOf());
        TYPEATTR* attr = nullptr;
        if (coclass && SUCCEEDED(coclass->GetTypeAttr(&attr))) {
            Check("class information is Quillax", attr->guid == CLSID_Quillax, true);
            coclass->ReleaseTypeAttr(attr);
        }
    }

    // The page hooks without the dispatch part keep the properties.
    ComPtr<IPageHooks> hooks;
    CheckStatus("page hooks", quillax.As(IID_IPageHooks, &hooks), S_OK);
    if (hooks) {
        CheckStatus("page hook OnStartPage", hooks->OnStartPage(nullptr), S_OK);
        quillax->get_Height(&height);
        Check("page hook OnStartPage keeps the properties", height, LONG(77));
    }
    CheckStatus("OnStartPage", quillax->OnStartPage(nullptr), S_OK);
    quillax->get_Height(&height);
    Check("OnStartPage sets the defaults", height, LONG(50));
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::puts("usage: quillax_host CASES REFERENCE-FOLDER RESULTS OUTPUT-FOLDER");
        return 2;
    }
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    Check("created by ProgID", bool(NewQuillax()), true);
    CheckCases(argv[1], argv[2], argv[3], argv[4]);
    CheckFailingResponse();
    CheckDispatch();
    CoUninitialize();
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
