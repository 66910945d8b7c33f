// In-process activation through the registry: ProgID -> CLSID -> InprocServer32 library ->
// DllGetClassObject -> class factory.
#include "platform/Activation.h"
#include "platform/AnsiCodePage.h"
#include "platform/OleAuto.h"
#include "platform/Registry.h"

#include <dlfcn.h>

#include <cstring>
#include <map>
#include <mutex>
#include <string>

namespace {

// The default value of HKEY_CLASSES_ROOT\path, as bytes (a library path is the file
// system's own bytes, kept through the narrow calls).
bool ReadDefault(const std::string& path, std::string* value) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    DWORD size = 0;
    bool ok = RegQueryValueExA(key, nullptr, nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS;
    std::string buffer(size, '\0');
    ok = ok && RegQueryValueExA(key, nullptr, nullptr, nullptr,
                                reinterpret_cast<BYTE*>(buffer.data()), &size) == ERROR_SUCCESS;
    RegCloseKey(key);
    if (!ok) return false;
    buffer.resize(std::strlen(buffer.c_str()));
    *value = buffer;
    return true;
}

// Libraries stay loaded for the life of the process, once each.
void* LoadLibraryOnce(const std::string& path) {
    static std::mutex mutex;
    static std::map<std::string, void*> loaded;
    std::lock_guard guard(mutex);
    if (auto it = loaded.find(path); it != loaded.end()) return it->second;
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle) loaded[path] = handle;
    return handle;
}

} // namespace

HRESULT CoInitialize(LPVOID) {
    return S_OK;
}
HRESULT CoInitializeEx(LPVOID, DWORD) {
    return S_OK;
}
void CoUninitialize() {}

HRESULT CLSIDFromProgID(LPCOLESTR lpszProgID, LPCLSID lpclsid) {
    if (!lpszProgID || !lpclsid) return E_INVALIDARG;
    std::u16string_view progId(lpszProgID);
    std::string text;
    if (progId.empty() || !ReadDefault(quillax::WideToAnsi(progId) + "\\Clsid", &text))
        return CO_E_CLASSSTRING;
    const std::u16string wide = quillax::AnsiToWide(text);
    CLSID clsid{};
    if (CLSIDFromString(wide.c_str(), &clsid) != NOERROR) return CO_E_CLASSSTRING;
    *lpclsid = clsid;
    return NOERROR;
}

HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* lplpszProgID) {
    if (!lplpszProgID) return E_INVALIDARG;
    *lplpszProgID = nullptr;
    std::string text;
    if (!ReadDefault("CLSID\\" + quillax::GuidToString(clsid) + "\\ProgID", &text))
        return REGDB_E_CLASSNOTREG;
    const std::u16string wide = quillax::AnsiToWide(text);
    auto* out = static_cast<LPOLESTR>(CoTaskMemAlloc((wide.size() + 1) * sizeof(OLECHAR)));
    if (!out) return E_OUTOFMEMORY;
    std::memcpy(out, wide.c_str(), (wide.size() + 1) * sizeof(OLECHAR));
    *lplpszProgID = out;
    return S_OK;
}

HRESULT CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, COSERVERINFO*, REFIID riid,
                         LPVOID* ppv) {
    if (!ppv) return E_INVALIDARG;
    *ppv = nullptr;
    if (!(dwClsContext & CLSCTX_INPROC_SERVER)) return REGDB_E_CLASSNOTREG;
    std::string library;
    if (!ReadDefault("CLSID\\" + quillax::GuidToString(rclsid) + "\\InprocServer32", &library) ||
        library.empty())
        return REGDB_E_CLASSNOTREG;
    void* handle = LoadLibraryOnce(library);
    if (!handle) return CO_E_DLLNOTFOUND;
    auto entry = reinterpret_cast<LPFNGETCLASSOBJECT>(dlsym(handle, "DllGetClassObject"));
    if (!entry) return CO_E_ERRORINDLL;
    return entry(rclsid, riid, ppv);
}

HRESULT CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext, REFIID riid,
                         LPVOID* ppv) {
    if (!ppv) return E_INVALIDARG;
    *ppv = nullptr;
    quillax::ComPtr<IClassFactory> factory;
    HRESULT hr = CoGetClassObject(rclsid, dwClsContext, nullptr, IID_IClassFactory,
                                  reinterpret_cast<void**>(factory.GetAddressOf()));
    if (FAILED(hr)) return hr;
    return factory->CreateInstance(pUnkOuter, riid, ppv);
}

HRESULT CoLockObjectExternal(LPUNKNOWN, BOOL, BOOL) {
    return S_OK;
}

HRESULT CoDisconnectObject(LPUNKNOWN, DWORD) {
    return S_OK;
}
