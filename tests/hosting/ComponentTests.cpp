// The built component as hosts see it: activation through the registry, dispatch by name and
// identifier, the interfaces the object answers, error records, the page hooks, and the
// Response calls of ShowBarcode.
#include "apps/page/ComponentHost.h"
#include "hosting/Kemrin_Quillax_TLB.h"
#include "platform/Activation.h"
#include "platform/AnsiCodePage.h"
#include "platform/Registry.h"
#include "tests/StatusText.h"
#include "tests/support/BuiltComponent.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <unistd.h>

using namespace quillax;
using namespace quillax::host;

namespace {

using test::Hex;

void* const Sentinel = reinterpret_cast<void*>(0x1234);
constexpr HRESULT HostFailure = static_cast<HRESULT>(0x80070070); // the disk is full

const TComponentLibrary& Component() {
    return test::BuiltComponent();
}

// A Response that records each call and can fail one of them with the host's own status
// and error record.
class TRecordingResponse final : public TResponseSink {
public:
    std::vector<std::string> calls;
    std::vector<BYTE> body;
    std::string failAt; // the call that fails, by name
    HRESULT failure = HostFailure;
    std::u16string failureDescription;

    HRESULT Expires(LONG minutes) override {
        return Outcome("Expires", "Expires " + std::to_string(minutes));
    }
    HRESULT AddHeader(const std::string& name, const std::string& value) override {
        return Outcome("AddHeader", "AddHeader " + name + " " + value);
    }
    HRESULT ContentType(const std::string& type) override {
        return Outcome("ContentType", "ContentType " + type);
    }
    HRESULT BinaryWrite(std::span<const BYTE> bytes) override {
        const HRESULT hr = Outcome("BinaryWrite", "BinaryWrite " + std::to_string(bytes.size()));
        if (SUCCEEDED(hr)) body.insert(body.end(), bytes.begin(), bytes.end());
        return hr;
    }
    HRESULT Flush() override { return Outcome("Flush", "Flush"); }

private:
    HRESULT Outcome(const std::string& name, const std::string& call) {
        calls.push_back(call);
        if (name != failAt) return S_OK;
        if (!failureDescription.empty()) {
            ComPtr<ICreateErrorInfo> record;
            CreateErrorInfo(record.GetAddressOf());
            record->SetDescription(failureDescription.data());
            ComPtr<IErrorInfo> info;
            record.As(IID_IErrorInfo, &info);
            SetErrorInfo(0, info.Get());
        }
        return failure;
    }
};

struct TErrorRecord {
    GUID guid{};
    std::u16string source;
    std::u16string description;
};

// The thread's current error record, taken (and so cleared).
std::optional<TErrorRecord> TakeErrorRecord() {
    ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, info.GetAddressOf()) != S_OK || !info) return std::nullopt;
    TErrorRecord record;
    info->GetGUID(&record.guid);
    BStr source, description;
    info->GetSource(source.ReleaseAndGetAddressOf());
    info->GetDescription(description.ReleaseAndGetAddressOf());
    record.source = source.View();
    record.description = description.View();
    return record;
}

struct ObjectFixture : ::testing::Test {
    ComPtr<IDispatch> dispatch;
    ComPtr<IQuillax> barcode;
    TRecordingResponse response;
    ComPtr<IScriptingContext> context = MakeScriptingContext(response);

    void SetUp() override {
        TakeErrorRecord();
        dispatch = Component().CreateObject(CLSID_Quillax);
        ASSERT_HR(S_OK, dispatch.As(IID_IQuillax, &barcode));
    }
    void Put(const char* name, const char* value) { PutProperty(dispatch.Get(), name, value); }
    LONG Height() {
        LONG value = -1;
        EXPECT_HR(S_OK, barcode->get_Height(&value));
        return value;
    }
};

TEST_F(ObjectFixture, TypeInformationIsTheDualInterfaceAtIndexZeroOnly) {
    UINT count = 0;
    EXPECT_HR(S_OK, dispatch->GetTypeInfoCount(&count));
    EXPECT_EQ(1u, count);

    ITypeInfo* info = static_cast<ITypeInfo*>(Sentinel);
    EXPECT_HR(DISP_E_BADINDEX, dispatch->GetTypeInfo(1, LOCALE_USER_DEFAULT, &info));
    EXPECT_EQ(nullptr, info);

    ComPtr<ITypeInfo> first;
    ASSERT_HR(S_OK, dispatch->GetTypeInfo(0, LOCALE_USER_DEFAULT, first.GetAddressOf()));
    TYPEATTR* attr = nullptr;
    ASSERT_HR(S_OK, first->GetTypeAttr(&attr));
    EXPECT_TRUE(attr->guid == IID_IQuillax2);
    EXPECT_EQ(0x1140, attr->wTypeFlags);
    first->ReleaseTypeAttr(attr);

    ComPtr<IProvideClassInfo> provider;
    ASSERT_HR(S_OK, dispatch.As(IID_IProvideClassInfo, &provider));
    ComPtr<ITypeInfo> classInfo;
    ASSERT_HR(S_OK, provider->GetClassInfo(classInfo.GetAddressOf()));
    ASSERT_HR(S_OK, classInfo->GetTypeAttr(&attr));
    EXPECT_TRUE(attr->guid == CLSID_Quillax);
    classInfo->ReleaseTypeAttr(attr);
}

TEST_F(ObjectFixture, AnswersItsInterfacesWithOneIdentity) {
    constexpr IID IID_IPageHooks_ = MakeGuid("{7A8B9910-F33C-11D2-9EDD-00C04F6539EE}");
    struct Row {
        const char* name;
        IID iid;
        HRESULT query;
        HRESULT supportsErrorInfo;
    } rows[] = {
        {"IUnknown", IID_IUnknown, S_OK, S_OK},
        {"IDispatch", IID_IDispatch, S_OK, S_OK},
        {"IQuillax", IID_IQuillax, S_OK, S_OK},
        {"IQuillax2", IID_IQuillax2, S_OK, S_OK},
        {"ISupportErrorInfo", IID_ISupportErrorInfo, S_OK, S_OK},
        {"IProvideClassInfo", IID_IProvideClassInfo, S_OK, S_OK},
        {"page hooks", IID_IPageHooks_, S_OK, S_OK},
        {"IClassFactory", IID_IClassFactory, E_NOINTERFACE, S_FALSE},
        {"IScriptingContext", IID_IScriptingContext, E_NOINTERFACE, S_FALSE},
    };
    ComPtr<ISupportErrorInfo> support;
    ASSERT_HR(S_OK, dispatch.As(IID_ISupportErrorInfo, &support));
    ComPtr<IUnknown> identity;
    ASSERT_HR(S_OK, dispatch.As(IID_IUnknown, &identity));
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ComPtr<IUnknown> answered;
        EXPECT_HR(row.query, dispatch.As(row.iid, &answered));
        EXPECT_HR(row.supportsErrorInfo, support->InterfaceSupportsErrorInfo(row.iid));
        if (!answered) continue;
        ComPtr<IUnknown> again;
        ASSERT_HR(S_OK, answered.As(IID_IUnknown, &again));
        EXPECT_EQ(identity.Get(), again.Get());
    }
}

TEST_F(ObjectFixture, EveryPutFlagReachesTheSetter) {
    struct Row {
        const char* name;
        WORD flags;
        HRESULT expected;
        LONG height;
    } rows[] = {
        {"put", DISPATCH_PROPERTYPUT, S_OK, 71},
        {"put by reference", DISPATCH_PROPERTYPUTREF, S_OK, 72},
        {"put with method", DISPATCH_PROPERTYPUT | DISPATCH_METHOD, S_OK, 73},
        {"get is no put", DISPATCH_PROPERTYGET, DISP_E_BADPARAMCOUNT, 73},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        VARIANTARG value;
        VariantInit(&value);
        V_VT(&value) = VT_BSTR; // converted to the setter's type, as a script passes it
        BStr text(AnsiToWide(std::to_string(row.flags == DISPATCH_PROPERTYGET ? 99 : row.height))
                      .c_str());
        V_BSTR(&value) = text.Get();
        DISPID named = DISPID_PROPERTYPUT;
        DISPPARAMS params{&value, &named, 1, 1};
        EXPECT_HR(row.expected, dispatch->Invoke(DISPID_Height, IID_NULL, LOCALE_USER_DEFAULT,
                                                 row.flags, &params, nullptr, nullptr, nullptr));
        EXPECT_EQ(row.height, Height());
    }
}

TEST_F(ObjectFixture, ShowBarcodeOutsideAPageFailsWithARecordAndNoResponseCall) {
    struct Row {
        const char* name;
        bool startPage;
        bool endPage;
    } rows[] = {{"before the page starts", false, false}, {"after the page ended", true, true}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        if (row.startPage) {
            ASSERT_HR(S_OK, barcode->OnStartPage(context.Get()));
        }
        if (row.endPage) {
            ASSERT_HR(S_OK, barcode->OnEndPage());
        }
        Put("Data", "5901234123457");
        response.calls.clear();
        EXPECT_HR(E_UNEXPECTED, barcode->ShowBarcode());
        EXPECT_TRUE(response.calls.empty());
        const auto record = TakeErrorRecord();
        ASSERT_TRUE(record.has_value());
        EXPECT_TRUE(record->guid == IID_IQuillax2);
        EXPECT_EQ(u"Kemrin_Quillax.Quillax", record->source);
        EXPECT_FALSE(record->description.empty());
    }
}

TEST_F(ObjectFixture, StartingAPageWithoutAScriptingContextFails) {
    ComPtr<IUnknown> notAContext;
    ASSERT_HR(S_OK, barcode.As(IID_IUnknown, &notAContext)); // answers no IScriptingContext
    EXPECT_HR(E_UNEXPECTED, barcode->OnStartPage(notAContext.Get()));
    const auto record = TakeErrorRecord();
    ASSERT_TRUE(record.has_value());
    EXPECT_EQ(u"Interface not supported", record->description);
    EXPECT_EQ(u"Kemrin_Quillax.Quillax", record->source);
    EXPECT_EQ(50, Height()); // the defaults were set before the context was asked for
    EXPECT_HR(E_UNEXPECTED, barcode->ShowBarcode());
}

TEST_F(ObjectFixture, PageHookInterfaceKeepsTheContextWithoutResettingProperties) {
    ComPtr<IPageHooks> hooks;
    ASSERT_HR(S_OK, barcode.As(IID_IPageHooks, &hooks));
    ASSERT_HR(S_OK, barcode->put_Height(77));
    ASSERT_HR(S_OK, hooks->OnStartPage(context.Get()));
    EXPECT_EQ(77, Height());
    EXPECT_HR(S_OK, barcode->ShowBarcode());
    EXPECT_EQ(4u, response.calls.size()); // no Expires for BMP
    ASSERT_HR(S_OK, hooks->OnEndPage());
    EXPECT_HR(E_UNEXPECTED, barcode->ShowBarcode());
    TakeErrorRecord();
}

TEST_F(ObjectFixture, ShowBarcodeMakesTheResponseCallsInOrder) {
    struct Row {
        const char* imageType;
        const char* contentType;
        bool expires;
        std::string magic;
    } rows[] = {
        {"BMP", "image/bmp", false, "BM"},
        {"jpg", "image/jpeg", true, "\xFF\xD8\xFF"},
        {"JPEG", "image/jpeg", true, "\xFF\xD8\xFF"},
        {"png", "image/png", false, "\x89PNG"},
        {"GIF", "image/bmp", false, "BM"},
        {" PNG", "image/bmp", false, "BM"},
    };
    ASSERT_HR(S_OK, barcode->OnStartPage(context.Get()));
    Put("Data", "5901234123457");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.imageType);
        Put("ImageTypeStr", row.imageType);
        response.calls.clear();
        response.body.clear();
        ASSERT_HR(S_OK, barcode->ShowBarcode());
        const std::string size = std::to_string(response.body.size());
        std::vector<std::string> expected;
        if (row.expires) expected.push_back("Expires 0");
        expected.push_back("AddHeader Content-Length " + size);
        expected.push_back(std::string("ContentType ") + row.contentType);
        expected.push_back("BinaryWrite " + size);
        expected.push_back("Flush");
        EXPECT_EQ(expected, response.calls);
        ASSERT_GE(response.body.size(), row.magic.size());
        EXPECT_EQ(row.magic,
                  std::string(response.body.begin(), response.body.begin() + row.magic.size()));
    }
}

TEST_F(ObjectFixture, ShowBarcodeSendsTheBytesSaveBarcodeWrites) {
    ASSERT_HR(S_OK, barcode->OnStartPage(context.Get()));
    Put("Data", "5901234123457");
    Put("ImageType", "3");
    ASSERT_HR(S_OK, barcode->ShowBarcode());
    const auto file = std::filesystem::temp_directory_path() /
                      ("quillax-show-" + std::to_string(getpid()) + ".png");
    EXPECT_EQ(0, SaveBarcode(dispatch.Get(), file.string()));
    std::ifstream in(file, std::ios::binary);
    const std::vector<BYTE> saved{std::istreambuf_iterator<char>(in), {}};
    std::filesystem::remove(file);
    EXPECT_EQ(saved, response.body);
}

TEST_F(ObjectFixture, InvalidDataStillSendsAnImage) {
    ASSERT_HR(S_OK, barcode->OnStartPage(context.Get()));
    Put("Data", "not digits");
    ASSERT_HR(S_OK, barcode->ShowBarcode());
    ASSERT_EQ(4u, response.calls.size());
    EXPECT_EQ("ContentType image/bmp", response.calls[1]);
    // A 50 by 30 picture, 24 bits per pixel: 54 header bytes and 30 rows of 152 bytes.
    EXPECT_EQ(54u + 30u * 152u, response.body.size());
}

// LastResult and LastError follow each ShowBarcode and SaveBarcode, read alike through the
// dual interface and by name; scripts cannot set them, and a new page starts clean.
TEST_F(ObjectFixture, LastResultAndLastErrorTellWhatBecameOfTheLastRender) {
    ComPtr<IQuillax2> extended;
    ASSERT_HR(S_OK, dispatch.As(IID_IQuillax2, &extended));
    const std::string file = (std::filesystem::temp_directory_path() /
                              ("quillax-last-" + std::to_string(getpid()) + ".bmp"))
                                 .string();
    const std::string unwritable = file + "/no/such/folder/x.bmp";
    enum class Action { None, Show, Save, SaveUnwritable, StartPage };
    struct Row {
        const char* name;
        std::vector<std::pair<const char*, const char*>> puts;
        Action action;
        LONG result;
        std::string error;
    } rows[] = {
        {"before any render", {}, Action::None, 0, ""},
        {"a page starts", {}, Action::StartPage, 0, ""},
        {"clean ShowBarcode", {{"Data", "5901234123457"}}, Action::Show, 0, ""},
        {"letters in EAN-13 data",
         {{"Data", "12345ABC"}},
         Action::Show,
         3,
         "Barcode must be numeric"},
        {"symbology 99",
         {{"BarcodeType", "99"}},
         Action::Save,
         3,
         "TBarcodeEngine: wrong BarcodeType"},
        {"clean SaveBarcode",
         {{"BarcodeType", "14"}, {"Data", "5901234123457"}},
         Action::Save,
         0,
         ""},
        {"no file written",
         {},
         Action::SaveUnwritable,
         5,
         "Cannot create file \"" + unwritable + "\". Not a directory"},
        {"a new page after the failure", {}, Action::StartPage, 0, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        for (const auto& [name, value] : row.puts)
            Put(name, value);
        switch (row.action) {
        case Action::Show:
            ASSERT_HR(S_OK, barcode->ShowBarcode());
            break;
        case Action::Save:
        case Action::SaveUnwritable:
            EXPECT_EQ(row.result,
                      SaveBarcode(dispatch.Get(), row.action == Action::Save ? file : unwritable));
            break;
        case Action::StartPage:
            ASSERT_HR(S_OK, barcode->OnStartPage(context.Get()));
            break;
        case Action::None:
            break;
        }
        LONG result = -1;
        BStr error;
        EXPECT_HR(S_OK, extended->get_LastResult(&result));
        EXPECT_HR(S_OK, extended->get_LastError(error.ReleaseAndGetAddressOf()));
        EXPECT_EQ(row.result, result);
        EXPECT_EQ(row.error, WideToUtf8(error.View()));
        EXPECT_EQ(std::to_string(row.result), GetPropertyText(dispatch.Get(), "lastresult"));
        EXPECT_EQ(row.error, GetPropertyText(dispatch.Get(), "LastError"));
    }
    std::filesystem::remove(file);
    for (const char* name : {"LastResult", "LastError"}) {
        SCOPED_TRACE(name);
        EXPECT_THROW(Put(name, "1"), EUsageError);
    }
}

TEST_F(ObjectFixture, AFailingResponseCallEndsShowBarcodeWithTheHostsStatus) {
    struct Row {
        const char* failAt;
        size_t callsMade;
    } rows[] = {
        {"Expires", 1}, {"AddHeader", 2}, {"ContentType", 3}, {"BinaryWrite", 4}, {"Flush", 5},
    };
    ASSERT_HR(S_OK, barcode->OnStartPage(context.Get()));
    Put("Data", "5901234123457");
    Put("ImageTypeStr", "JPG");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.failAt);
        response.calls.clear();
        response.failAt = row.failAt;
        response.failureDescription = u"The disk is full.";
        EXPECT_HR(HostFailure, barcode->ShowBarcode());
        EXPECT_EQ(row.callsMade, response.calls.size());
        const auto record = TakeErrorRecord();
        ASSERT_TRUE(record.has_value());
        EXPECT_EQ(u"The disk is full.", record->description);
        EXPECT_TRUE(record->guid == IID_IQuillax2);
    }
    // Through IDispatch the same failure is an exception carrying the status.
    response.failAt = "Flush";
    EXCEPINFO info{};
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    EXPECT_HR(DISP_E_EXCEPTION, dispatch->Invoke(DISPID_ShowBarcode, IID_NULL, LOCALE_USER_DEFAULT,
                                                 DISPATCH_METHOD, &none, nullptr, &info, nullptr));
    EXPECT_HR(HostFailure, info.scode);
    EXPECT_EQ(u"Kemrin_Quillax.Quillax", std::u16string(info.bstrSource ? info.bstrSource : u""));
    SysFreeString(info.bstrSource);
    SysFreeString(info.bstrDescription);
    SysFreeString(info.bstrHelpFile);
}

// --- Activation through the registry --------------------------------------------------------

TEST(Activation, RegisteredLibraryIsCreatedByProgIdAndRenders) {
    const auto folder =
        std::filesystem::temp_directory_path() / ("quillax-activation-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    SetRegistryStoreFile((folder / "registry").string());

    ASSERT_HR(S_OK, Component().RegisterServer());
    CLSID clsid = CLSID_NULL;
    ASSERT_HR(S_OK, CLSIDFromProgID(u"Kemrin_Quillax.Quillax", &clsid));
    {
        ComPtr<IDispatch> object;
        ASSERT_HR(S_OK, CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                         reinterpret_cast<void**>(object.GetAddressOf())));
        EXPECT_HR(S_FALSE, Component().CanUnloadNow());
        TRecordingResponse response;
        ComPtr<IScriptingContext> context = MakeScriptingContext(response);
        StartPage(object.Get(), context.Get());
        PutProperty(object.Get(), "data", "12345670");
        PutProperty(object.Get(), "BarcodeType", "13");
        PutProperty(object.Get(), "imagetypestr", "png");
        ShowBarcode(object.Get());
        EndPage(object.Get());
        EXPECT_EQ("ContentType image/png", response.calls.at(1));
        EXPECT_GT(response.body.size(), 8u);
    }
    EXPECT_HR(S_OK, Component().CanUnloadNow());
    EXPECT_HR(S_OK, Component().UnregisterServer());
    EXPECT_HR(S_OK, Component().UnregisterServer());
    EXPECT_HR(CO_E_CLASSSTRING, CLSIDFromProgID(u"Kemrin_Quillax.Quillax", &clsid));
    std::filesystem::remove_all(folder);
}

// No short form of a path exists here: a folder name with a space is written as it is, and
// activation loads the library from it.
TEST(Activation, LibraryInAFolderWithASpaceIsRegisteredByItsFullPath) {
    const auto folder =
        std::filesystem::temp_directory_path() / ("quillax activation " + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    const auto copy = folder / "libKemrin_Quillax.so";
    std::filesystem::copy_file(test::BuiltComponentPath(), copy);
    SetRegistryStoreFile((folder / "registry").string());
    {
        TComponentLibrary library(copy.string());
        ASSERT_HR(S_OK, library.RegisterServer());
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS,
                  RegOpenKeyExA(HKEY_CLASSES_ROOT,
                                "CLSID\\{6A358604-6623-4CD5-A879-3DF0EABE5F83}\\InprocServer32", 0,
                                KEY_READ, &key));
        char path[4096] = {};
        DWORD size = sizeof path;
        EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, nullptr, nullptr, nullptr,
                                                  reinterpret_cast<BYTE*>(path), &size));
        RegCloseKey(key);
        EXPECT_EQ(copy.string(), std::string(path));
        ComPtr<IDispatch> object;
        EXPECT_HR(S_OK,
                  CoCreateInstance(CLSID_Quillax, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                   reinterpret_cast<void**>(object.GetAddressOf())));
        object = nullptr;
        EXPECT_HR(S_OK, library.UnregisterServer());
    }
    std::filesystem::remove_all(folder);
}

} // namespace
