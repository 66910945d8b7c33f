// Loading the component library and creating its objects.
#include "apps/page/ComponentLibrary.h"

#include <climits>
#include <dlfcn.h>
#include <filesystem>
#include <unistd.h>

#ifndef QUILLAX_INSTALLED_COMPONENT
#define QUILLAX_INSTALLED_COMPONENT "../lib/libKemrin_Quillax.so.1"
#endif

namespace quillax::host {

namespace fs = std::filesystem;

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

} // namespace quillax::host
