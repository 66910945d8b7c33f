// The server machinery with a probe class of its own: class objects, creation and
// aggregation, the counts that decide unloading, the factory's type-library checks and the
// registry entries the server writes and removes.
#include "hosting/ComObj.h"
#include "hosting/Kemrin_Quillax_TLB.h"
#include "platform/Activation.h"
#include "platform/Registry.h"
#include "tests/StatusText.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <unistd.h>

using namespace quillax;

namespace {

using test::Hex;

void* const Sentinel = reinterpret_cast<void*>(0x1234);

constexpr CLSID CLSID_Probe = MakeGuid("{0B1D0B2A-1111-4A4A-8B8B-0123456789AB}");

// An object that answers only IUnknown and ISupportErrorInfo.
class TProbe : public TComObject {
public:
    static inline std::atomic<int> live{0};
    static TComObject* Create() { return new TProbe; }
    TProbe() { ++live; }
    ~TProbe() override { --live; }
};

// A controlling object that only counts the references delegated to it.
struct TOuter final : IUnknown {
    std::atomic<ULONG> count{1};
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** ppv) override {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++count; }
    ULONG STDMETHODCALLTYPE Release() override { return --count; }
};

struct ServerFixture : ::testing::Test {
    TComServer server;
    TComObjectFactory factory{server,
                              &TProbe::Create,
                              CLSID_Probe,
                              "Probe",
                              "Probe Object",
                              TClassInstancing::ciMultiInstance,
                              TThreadingModel::tmBoth,
                              "TProbe"};

    ComPtr<IClassFactory> ClassObject() {
        ComPtr<IClassFactory> result;
        EXPECT_HR(S_OK, server.GetClassObject(CLSID_Probe, IID_IClassFactory,
                                              reinterpret_cast<void**>(result.GetAddressOf())));
        return result;
    }
};

TEST_F(ServerFixture, ClassObjectLookupReportsUnknownClassesAndInterfaces) {
    struct Row {
        const char* name;
        CLSID clsid;
        IID iid;
        HRESULT expected;
    } rows[] = {
        {"unknown class", CLSID_Quillax, IID_IClassFactory, CLASS_E_CLASSNOTAVAILABLE},
        {"interface the factory lacks", CLSID_Probe, IID_IDispatch, E_NOINTERFACE},
        {"class factory", CLSID_Probe, IID_IClassFactory, S_OK},
        {"unknown", CLSID_Probe, IID_IUnknown, S_OK},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        void* out = Sentinel;
        EXPECT_HR(row.expected, server.GetClassObject(row.clsid, row.iid, &out));
        if (SUCCEEDED(row.expected)) {
            ASSERT_NE(nullptr, out);
            static_cast<IUnknown*>(out)->Release();
        } else {
            EXPECT_EQ(nullptr, out);
        }
    }
    EXPECT_EQ(0, server.FactoryCount());
}

TEST_F(ServerFixture, UnloadIsRefusedWhileAnythingIsHeld) {
    struct Row {
        const char* name;
        std::function<std::function<void()>(ServerFixture&)> hold; // returns the release
    } rows[] = {
        {"an object",
         [](ServerFixture& f) -> std::function<void()> {
             IUnknown* object = nullptr;
             EXPECT_HR(S_OK, f.ClassObject()->CreateInstance(nullptr, IID_IUnknown,
                                                             reinterpret_cast<void**>(&object)));
             return [object] { object->Release(); };
         }},
        {"a factory reference",
         [](ServerFixture& f) -> std::function<void()> {
             IClassFactory* held = f.ClassObject().Detach();
             return [held] { held->Release(); };
         }},
        {"a server lock",
         [](ServerFixture& f) -> std::function<void()> {
             EXPECT_HR(S_OK, f.ClassObject()->LockServer(TRUE));
             return [&f] { EXPECT_HR(S_OK, f.ClassObject()->LockServer(FALSE)); };
         }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_TRUE(server.CanUnloadNow());
        auto release = row.hold(*this);
        EXPECT_FALSE(server.CanUnloadNow());
        release();
        EXPECT_TRUE(server.CanUnloadNow());
        EXPECT_EQ(0, server.ObjectCount());
        EXPECT_EQ(0, server.FactoryCount());
    }
    EXPECT_EQ(0, TProbe::live.load());
}

TEST_F(ServerFixture, FactoryReferencesAreCountedByTheServer) {
    IClassFactory* raw = nullptr;
    ASSERT_HR(S_OK, server.GetClassObject(CLSID_Probe, IID_IClassFactory,
                                          reinterpret_cast<void**>(&raw)));
    EXPECT_EQ(2u, raw->AddRef());
    EXPECT_EQ(2, server.FactoryCount());
    EXPECT_EQ(1u, raw->Release());
    EXPECT_EQ(0u, raw->Release());
    EXPECT_EQ(0, server.FactoryCount());
}

TEST_F(ServerFixture, CreateInstanceRefusesBadRequestsAndLeavesNothingBehind) {
    TOuter outer;
    struct Row {
        const char* name;
        IUnknown* outer;
        IID iid;
        HRESULT expected;
    } rows[] = {
        {"aggregation asking for another interface", &outer, IID_ISupportErrorInfo,
         CLASS_E_NOAGGREGATION},
        {"interface the object lacks", nullptr, IID_IDispatch, E_NOINTERFACE},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        void* out = Sentinel;
        EXPECT_HR(row.expected, ClassObject()->CreateInstance(row.outer, row.iid, &out));
        EXPECT_EQ(nullptr, out);
        EXPECT_EQ(0, TProbe::live.load());
        EXPECT_EQ(0, server.ObjectCount());
    }
    EXPECT_HR(E_POINTER, ClassObject()->CreateInstance(nullptr, IID_IUnknown, nullptr));
    EXPECT_EQ(1u, outer.count.load());
}

TEST_F(ServerFixture, AnAggregatedObjectDelegatesItsInterfacesToTheOuterObject) {
    TOuter outer;
    IUnknown* inner = nullptr;
    ASSERT_HR(S_OK, ClassObject()->CreateInstance(&outer, IID_IUnknown,
                                                  reinterpret_cast<void**>(&inner)));
    ISupportErrorInfo* support = nullptr;
    ASSERT_HR(S_OK,
              inner->QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(&support)));
    EXPECT_EQ(2u, outer.count.load()); // the interface's reference went to the outer object
    EXPECT_HR(S_OK, support->InterfaceSupportsErrorInfo(IID_ISupportErrorInfo));
    EXPECT_HR(S_FALSE, support->InterfaceSupportsErrorInfo(IID_IDispatch));
    support->Release();
    EXPECT_EQ(1u, outer.count.load());
    EXPECT_EQ(1, server.ObjectCount());
    EXPECT_EQ(0u, inner->Release());
    EXPECT_EQ(0, server.ObjectCount());
    EXPECT_EQ(0, TProbe::live.load());
}

TEST(AutoObjectFactory, ChecksTheClassAgainstTheTypeLibrary) {
    constexpr IID IID_Other = MakeGuid("{0B1D0B2A-2222-4A4A-8B8B-0123456789AB}");
    struct Row {
        const char* name;
        CLSID clsid;
        IID dispIID;
        const char* expected; // empty: made
    } rows[] = {
        {"class not in the library", CLSID_Probe, IID_IQuillax2,
         "Type information missing for class TProbe"},
        {"object class lacks the default interface", CLSID_Quillax, IID_Other,
         "Dispatch interface missing from class TProbe"},
        {"the classic interface is no longer the default", CLSID_Quillax, IID_IQuillax,
         "Dispatch interface missing from class TProbe"},
        {"matching class", CLSID_Quillax, IID_IQuillax2, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TComServer server;
        std::string message;
        try {
            TAutoObjectFactory factory(server, &TProbe::Create, row.clsid,
                                       TClassInstancing::ciMultiInstance, TThreadingModel::tmBoth,
                                       "TProbe", row.dispIID);
            EXPECT_EQ("Quillax", factory.ClassName());
            EXPECT_EQ("Quillax Object", factory.Description());
            EXPECT_EQ("Kemrin_Quillax.Quillax", factory.GetProgID());
            EXPECT_TRUE(factory.ErrorIID() == IID_IQuillax2);
        } catch (const Exception& e) {
            message = e.Message();
        }
        EXPECT_EQ(row.expected, message);
        // A factory that failed to be made leaves the server's list.
        void* out = Sentinel;
        EXPECT_HR(CLASS_E_CLASSNOTAVAILABLE, server.GetClassObject(row.clsid, IID_IUnknown, &out));
    }
}

// --- Registration ----------------------------------------------------------------------------

std::optional<std::string> ReadValue(const std::string& key, const char* name = nullptr) {
    HKEY handle = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS)
        return std::nullopt;
    DWORD size = 0;
    std::optional<std::string> value;
    if (RegQueryValueExA(handle, name, nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS) {
        std::string data(size, '\0');
        if (RegQueryValueExA(handle, name, nullptr, nullptr, reinterpret_cast<BYTE*>(data.data()),
                             &size) == ERROR_SUCCESS) {
            data.resize(size > 0 ? size - 1 : 0); // the terminating zero
            value = data;
        }
    }
    RegCloseKey(handle);
    return value;
}

bool KeyExists(const std::string& key) {
    HKEY handle = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS)
        return false;
    RegCloseKey(handle);
    return true;
}

struct RegistrationFixture : ::testing::Test {
    std::filesystem::path folder;
    void SetUp() override {
        folder = std::filesystem::temp_directory_path() /
                 ("quillax-hosting-" + std::to_string(getpid()) + "-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(folder);
        SetRegistryStoreFile((folder / "registry").string());
    }
    void TearDown() override { std::filesystem::remove_all(folder); }

    TComServer server;
    TAutoObjectFactory factory{server,
                               &TProbe::Create,
                               CLSID_Quillax,
                               TClassInstancing::ciMultiInstance,
                               TThreadingModel::tmBoth,
                               "TQuillax",
                               IID_IQuillax2};
};

const std::string ClassKey = "CLSID\\{6A358604-6623-4CD5-A879-3DF0EABE5F83}";
const std::string LibraryKey = "TypeLib\\{651DA609-F03C-46AC-BA79-9A7E47FD512E}\\1.0";
const std::string InterfaceKey = "Interface\\{F4DB5FB9-5221-48D4-9B6D-C54CC9CE715F}";
const std::string Interface2Key = "Interface\\{2AFD396E-040C-4E3B-9882-F6A33A8D50DF}";

TEST_F(RegistrationFixture, WritesTheClassProgIdAndTypeLibraryEntries) {
    ASSERT_NO_THROW(server.UpdateRegistry(true));
    const std::string path = server.GetServerFileName();
    const std::string folderOfPath = path.substr(0, path.find_last_of('/') + 1);
    struct Row {
        std::string key;
        const char* name;
        std::string expected;
    } rows[] = {
        {ClassKey, nullptr, "Quillax Object"},
        {ClassKey + "\\InprocServer32", nullptr, path},
        {ClassKey + "\\InprocServer32", "ThreadingModel", "Both"},
        {"Kemrin_Quillax.Quillax", nullptr, "Quillax Object"},
        {"Kemrin_Quillax.Quillax\\Clsid", nullptr, "{6A358604-6623-4CD5-A879-3DF0EABE5F83}"},
        {ClassKey + "\\ProgID", nullptr, "Kemrin_Quillax.Quillax"},
        {ClassKey + "\\Version", nullptr, "1.0"},
        {ClassKey + "\\TypeLib", nullptr, "{651DA609-F03C-46AC-BA79-9A7E47FD512E}"},
        {LibraryKey, nullptr, "Kemrin_Quillax Library"},
        {LibraryKey + "\\HELPDIR", nullptr, folderOfPath},
        {LibraryKey + "\\409\\win32", nullptr, path},
        {InterfaceKey, nullptr, "IQuillax"},
        {InterfaceKey + "\\TypeLib", nullptr, "{651DA609-F03C-46AC-BA79-9A7E47FD512E}"},
        {Interface2Key, nullptr, "IQuillax2"},
        {Interface2Key + "\\TypeLib", nullptr, "{651DA609-F03C-46AC-BA79-9A7E47FD512E}"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.key + (row.name ? std::string(" ") + row.name : ""));
        EXPECT_EQ(row.expected, ReadValue(row.key, row.name).value_or("<missing>"));
    }
}

TEST_F(RegistrationFixture, ProgIdLeadsToTheClassAndBack) {
    ASSERT_NO_THROW(server.UpdateRegistry(true));
    CLSID clsid = CLSID_NULL;
    ASSERT_HR(S_OK, CLSIDFromProgID(u"Kemrin_Quillax.Quillax", &clsid));
    EXPECT_TRUE(clsid == CLSID_Quillax);
    LPOLESTR progID = nullptr;
    ASSERT_HR(S_OK, ProgIDFromCLSID(clsid, &progID));
    EXPECT_EQ(std::u16string(u"Kemrin_Quillax.Quillax"), std::u16string(progID));
    CoTaskMemFree(progID);
}

TEST_F(RegistrationFixture, UnregisteringRemovesEverythingAndCanBeRepeated) {
    ASSERT_NO_THROW(server.UpdateRegistry(true));
    for (int round = 1; round <= 2; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        EXPECT_NO_THROW(server.UpdateRegistry(false));
        for (const std::string& key :
             {ClassKey, ClassKey + "\\InprocServer32", ClassKey + "\\ProgID",
              ClassKey + "\\Version", ClassKey + "\\TypeLib", std::string("Kemrin_Quillax.Quillax"),
              std::string("Kemrin_Quillax.Quillax\\Clsid"), LibraryKey, InterfaceKey,
              Interface2Key}) {
            SCOPED_TRACE(key);
            EXPECT_FALSE(KeyExists(key));
        }
    }
    CLSID clsid = CLSID_NULL;
    EXPECT_HR(CO_E_CLASSSTRING, CLSIDFromProgID(u"Kemrin_Quillax.Quillax", &clsid));
}

} // namespace
