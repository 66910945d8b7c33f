#include "platform/Registry.h"
#include "PlatformTestSupport.h"
#include "platform/Activation.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <dlfcn.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

using quillax::ComPtr;
using quillax::test::Hex;

// Each test gets a store file of its own in a fresh folder.
class RegistryStore : public ::testing::Test {
protected:
    void SetUp() override {
        static int counter = 0;
        folder = fs::temp_directory_path() /
                 ("quillax-registry-" + std::to_string(getpid()) + "-" + std::to_string(++counter));
        fs::create_directories(folder);
        quillax::SetRegistryStoreFile((folder / "registry").string());
    }
    void TearDown() override { fs::remove_all(folder); }

    // Writes a default (null name) or named value, creating the key.
    static void Put(const std::string& path, const char* name, const std::string& value) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_WRITE,
                                  nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        EXPECT_EQ(RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                 static_cast<DWORD>(value.size() + 1)),
                  ERROR_SUCCESS);
        RegCloseKey(key);
    }
    // The value's text, or "<error N>".
    static std::string Get(const std::string& path, const char* name = nullptr) {
        HKEY key = nullptr;
        LSTATUS s = RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key);
        if (s != ERROR_SUCCESS) return "<error " + std::to_string(s) + ">";
        char buffer[512];
        DWORD size = sizeof buffer, type = 0;
        s = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
        RegCloseKey(key);
        if (s != ERROR_SUCCESS) return "<error " + std::to_string(s) + ">";
        EXPECT_EQ(type, REG_SZ);
        EXPECT_EQ(buffer[size - 1], '\0') << "REG_SZ data ends with its terminator";
        return std::string(buffer, size - 1);
    }

    fs::path folder;
};

TEST_F(RegistryStore, KeysHoldDefaultAndNamedValues) {
    Put("CLSID\\{X}\\InprocServer32", nullptr, "/opt/lib/libX.so");
    Put("CLSID\\{X}\\InprocServer32", "ThreadingModel", "Both");
    EXPECT_EQ(Get("CLSID\\{X}\\InprocServer32"), "/opt/lib/libX.so");
    EXPECT_EQ(Get("CLSID\\{X}\\InprocServer32", "ThreadingModel"), "Both");
    EXPECT_EQ(Get("clsid\\{x}\\INPROCSERVER32", "threadingmodel"), "Both")
        << "names match without regard to case";
    EXPECT_EQ(Get("CLSID\\{X}"), "<error 2>") << "an intermediate key has no default value";
    EXPECT_EQ(Get("CLSID\\{Y}"), "<error 2>");
    EXPECT_EQ(Get("CLSID\\{X}\\InprocServer32", "Missing"), "<error 2>");

    // Overwrite, and an empty name is the default value too.
    Put("CLSID\\{X}\\InprocServer32", "", "/other.so");
    EXPECT_EQ(Get("CLSID\\{X}\\InprocServer32"), "/other.so");
}

TEST_F(RegistryStore, QueriesReportTheSizeNeeded) {
    Put("Wide", nullptr, "abc");
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, u"wide", 0, KEY_READ, &key), ERROR_SUCCESS);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExW(key, nullptr, nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 8u) << "three characters and the terminator, 16 bits each";
    char16_t small[2] = {u'#', u'#'};
    size = sizeof small;
    EXPECT_EQ(
        RegQueryValueExW(key, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(small), &size),
        ERROR_MORE_DATA);
    EXPECT_EQ(size, 8u);
    EXPECT_EQ(small[0], u'#') << "nothing written into too small a buffer";
    char16_t text[4];
    size = sizeof text;
    EXPECT_EQ(
        RegQueryValueExW(key, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size),
        ERROR_SUCCESS);
    EXPECT_EQ(std::u16string(text), u"abc");
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE) << "a closed handle is no handle";
}

TEST_F(RegistryStore, DeletingKeys) {
    Put("A\\B\\C", nullptr, "leaf");
    struct Row {
        const char* name;
        const char* key;
        LSTATUS status;
    } rows[] = {
        {"key with a subkey", "A\\B", ERROR_ACCESS_DENIED},
        {"leaf", "A\\B\\C", ERROR_SUCCESS},
        {"leaf again", "A\\B\\C", ERROR_FILE_NOT_FOUND},
        {"now childless", "a\\b", ERROR_SUCCESS},
        {"never existed", "Z", ERROR_FILE_NOT_FOUND},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, row.key), row.status);
    }
    EXPECT_EQ(Get("A\\B\\C"), "<error 2>");
    HKEY a = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "A", 0, KEY_READ, &a), ERROR_SUCCESS);
    RegCloseKey(a);

    Put("T\\U\\V", "n", "1");
    Put("T\\W", nullptr, "2");
    Put("TX", nullptr, "sibling with a common prefix");
    EXPECT_EQ(RegDeleteTreeA(HKEY_CLASSES_ROOT, "T"), ERROR_SUCCESS);
    EXPECT_EQ(Get("T\\W"), "<error 2>");
    EXPECT_EQ(Get("TX"), "sibling with a common prefix");
}

TEST_F(RegistryStore, SubkeysEnumerateInNameOrder) {
    Put("Interface\\{B}", nullptr, "b");
    Put("Interface\\{A}\\TypeLib", nullptr, "a");
    Put("Interface\\{C}", nullptr, "c");
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "Interface", 0, KEY_READ, &key), ERROR_SUCCESS);
    std::vector<std::string> names;
    for (DWORD i = 0;; ++i) {
        char name[64];
        DWORD chars = sizeof name;
        if (RegEnumKeyExA(key, i, name, &chars, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        names.emplace_back(name, chars);
    }
    RegCloseKey(key);
    EXPECT_EQ(names, (std::vector<std::string>{"{A}", "{B}", "{C}"}));
}

TEST_F(RegistryStore, LivesInItsFileAndSurvivesOddText) {
    const std::string odd = "line\nbreak \"quoted\" 100% \x80 caf\xE9";
    Put("Odd\\Key", "Name With Spaces", odd);
    // Another store, then back: the values come from the file.
    quillax::SetRegistryStoreFile((folder / "other").string());
    EXPECT_EQ(Get("Odd\\Key", "Name With Spaces"), "<error 2>");
    quillax::SetRegistryStoreFile((folder / "registry").string());
    EXPECT_EQ(Get("Odd\\Key", "Name With Spaces"), odd);
    for (const auto& entry : fs::directory_iterator(folder))
        EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos)
            << "no temporary file left behind";
}

TEST_F(RegistryStore, ConcurrentWritersLoseNothing) {
    constexpr int kProcesses = 3, kThreads = 4, kKeys = 10;
    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; ++p) {
        const pid_t pid = fork();
        if (pid == 0) {
            for (int k = 0; k < kKeys; ++k) {
                const std::string path = "P" + std::to_string(p) + "\\K" + std::to_string(k);
                HKEY key = nullptr;
                if (RegCreateKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_WRITE,
                                    nullptr, &key, nullptr) != ERROR_SUCCESS)
                    _exit(1);
                RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>("v"), 2);
                RegCloseKey(key);
            }
            _exit(0);
        }
        children.push_back(pid);
    }
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([t] {
            for (int k = 0; k < kKeys; ++k)
                Put("T" + std::to_string(t) + "\\K" + std::to_string(k), "n", "v");
        });
    for (std::thread& t : threads)
        t.join();
    for (pid_t pid : children) {
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    for (int k = 0; k < kKeys; ++k) {
        for (int p = 0; p < kProcesses; ++p)
            EXPECT_EQ(Get("P" + std::to_string(p) + "\\K" + std::to_string(k)), "v");
        for (int t = 0; t < kThreads; ++t)
            EXPECT_EQ(Get("T" + std::to_string(t) + "\\K" + std::to_string(k), "n"), "v");
    }
}

// ----- type library registration ----------------------------------------------------------

constexpr IID kIid = quillax::MakeGuid("{0B5D7C51-7A1C-4F3E-9E0A-5B3D2C1A0F11}");
constexpr GUID kLibid = quillax::MakeGuid("{0B5D7C51-7A1C-4F3E-9E0A-5B3D2C1A0F13}");
const quillax::InterfaceDescription kInterface{
    u"IThing",
    u"",
    kIid,
    1,
    0,
    TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDISPATCHABLE,
    {nullptr, 0},
    nullptr};
const quillax::InterfaceDescription* const kInterfaces[] = {&kInterface};
const quillax::TypeLibDescription kLib{u"Thing_Lib", u"Thing_Lib Library", kLibid, 1,       0, 1033,
                                       SYS_WIN32,    kInterfaces,          1,      nullptr, 0};

TEST_F(RegistryStore, TypeLibraryRegistrationWritesAndRemovesItsKeys) {
    ComPtr<ITypeLib> lib;
    ASSERT_EQ(Hex(quillax::CreateTypeLibFromDescription(kLib, lib.GetAddressOf())), Hex(S_OK));
    ASSERT_EQ(Hex(RegisterTypeLib(lib.Get(), u"/opt/lib/libThing.so", u"/opt/lib")), Hex(S_OK));

    const std::string base = "TypeLib\\{0B5D7C51-7A1C-4F3E-9E0A-5B3D2C1A0F13}\\1.0";
    const std::string iface = "Interface\\{0B5D7C51-7A1C-4F3E-9E0A-5B3D2C1A0F11}";
    struct Row {
        std::string key;
        const char* name;
        const char* value;
    } rows[] = {
        {base, nullptr, "Thing_Lib Library"},
        {base + "\\FLAGS", nullptr, "0"},
        {base + "\\HELPDIR", nullptr, "/opt/lib"},
        {base + "\\409\\win32", nullptr, "/opt/lib/libThing.so"},
        {iface, nullptr, "IThing"},
        {iface + "\\ProxyStubClsid32", nullptr, "{00020424-0000-0000-C000-000000000046}"},
        {iface + "\\TypeLib", nullptr, "{0B5D7C51-7A1C-4F3E-9E0A-5B3D2C1A0F13}"},
        {iface + "\\TypeLib", "Version", "1.0"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.key);
        EXPECT_EQ(Get(row.key, row.name), row.value);
    }

    Put("Interface\\{OTHER}\\TypeLib", nullptr, "{00000000-0000-0000-0000-000000000001}");
    EXPECT_EQ(Hex(UnRegisterTypeLib(kLibid, 1, 0, 1033, SYS_WIN32)), Hex(S_OK));
    for (const Row& row : rows)
        EXPECT_EQ(Get(row.key, row.name), "<error 2>") << row.key;
    EXPECT_EQ(Get("TypeLib\\{0B5D7C51-7A1C-4F3E-9E0A-5B3D2C1A0F13}"), "<error 2>");
    EXPECT_NE(Get("Interface\\{OTHER}\\TypeLib"), "<error 2>") << "another library's key stays";
    EXPECT_EQ(Hex(UnRegisterTypeLib(kLibid, 1, 0, 1033, SYS_WIN32)), Hex(TYPE_E_REGISTRYACCESS))
        << "nothing left to remove";
}

// ----- activation ---------------------------------------------------------------------

constexpr CLSID kTestClass = quillax::MakeGuid("{5E1D0F00-0000-4000-8000-00000000C0DE}");
const std::string kClassKey = "CLSID\\{5E1D0F00-0000-4000-8000-00000000C0DE}";

TEST_F(RegistryStore, ProgIdLeadsToTheClassAndBack) {
    Put("Test.Thing\\Clsid", nullptr, "{5E1D0F00-0000-4000-8000-00000000C0DE}");
    Put(kClassKey + "\\ProgID", nullptr, "Test.Thing");

    CLSID clsid{};
    ASSERT_EQ(Hex(CLSIDFromProgID(u"test.thing", &clsid)), Hex(S_OK));
    EXPECT_TRUE(IsEqualCLSID(clsid, kTestClass));
    LPOLESTR progId = nullptr;
    ASSERT_EQ(Hex(ProgIDFromCLSID(clsid, &progId)), Hex(S_OK));
    EXPECT_EQ(std::u16string(progId), u"Test.Thing");
    CoTaskMemFree(progId);

    CLSID untouched = kTestClass;
    EXPECT_EQ(Hex(CLSIDFromProgID(u"Test.Unknown", &untouched)), Hex(CO_E_CLASSSTRING));
    EXPECT_TRUE(IsEqualCLSID(untouched, kTestClass));
    LPOLESTR none = reinterpret_cast<LPOLESTR>(0x1);
    EXPECT_EQ(Hex(ProgIDFromCLSID(IID_IUnknown, &none)), Hex(REGDB_E_CLASSNOTREG));
    EXPECT_EQ(none, nullptr);
}

TEST_F(RegistryStore, CreatingAnObjectThroughItsLibrary) {
    struct Row {
        const char* name;
        const char* library; // null: no InprocServer32 entry
        HRESULT status;
    } rows[] = {
        {"not registered", nullptr, REGDB_E_CLASSNOTREG},
        {"library missing", "/nonexistent/libnothing.so", CO_E_DLLNOTFOUND},
        {"library without the entry point", QUILLAX_PLATFORM_LIBRARY, CO_E_ERRORINDLL},
        {"registered server", QUILLAX_TEST_SERVER, S_OK},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        RegDeleteTreeA(HKEY_CLASSES_ROOT, kClassKey.c_str());
        if (row.library) Put(kClassKey + "\\InprocServer32", nullptr, row.library);
        IUnknown* object = reinterpret_cast<IUnknown*>(0x1);
        EXPECT_EQ(Hex(CoCreateInstance(kTestClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                       reinterpret_cast<void**>(&object))),
                  Hex(row.status));
        if (FAILED(row.status)) {
            EXPECT_EQ(object, nullptr);
            continue;
        }
        ASSERT_NE(object, nullptr);
        void* server = dlopen(QUILLAX_TEST_SERVER, RTLD_NOW | RTLD_NOLOAD);
        ASSERT_NE(server, nullptr) << "the registered library is loaded";
        auto live = reinterpret_cast<LONG (*)()>(dlsym(server, "TestServerLiveObjects"));
        EXPECT_EQ(live(), 1);
        object->Release();
        EXPECT_EQ(live(), 0);
        dlclose(server);

        ComPtr<IClassFactory> factory;
        EXPECT_EQ(Hex(CoGetClassObject(kTestClass, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                                       reinterpret_cast<void**>(factory.GetAddressOf()))),
                  Hex(S_OK));
        EXPECT_EQ(Hex(CoGetClassObject(kTestClass, CLSCTX_LOCAL_SERVER, nullptr, IID_IClassFactory,
                                       reinterpret_cast<void**>(factory.ReleaseAndGetAddressOf()))),
                  Hex(REGDB_E_CLASSNOTREG))
            << "only in-process servers";
    }
}

} // namespace
