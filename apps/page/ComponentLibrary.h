// The component library, loaded by path like any in-process server: its four entry points,
// and new objects from its class factory.
#pragma once

#include "platform/OleAuto.h"
#include "platform/SysUtils.h"

#include <string>

namespace quillax::host {

// The component library, loaded for the life of this object (and kept loaded while the
// library says it cannot be unloaded).
class TComponentLibrary {
public:
    // Raises Exception when the library cannot be loaded or lacks an entry point.
    explicit TComponentLibrary(const std::string& path);
    ~TComponentLibrary();
    TComponentLibrary(const TComponentLibrary&) = delete;
    TComponentLibrary& operator=(const TComponentLibrary&) = delete;

    // libKemrin_Quillax.so beside the running program (the build tree), else the versioned
    // library in the installed library folder relative to it (bin/../lib).
    static std::string DefaultPath();

    HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** ppv) const;
    HRESULT CanUnloadNow() const;
    HRESULT RegisterServer() const;
    HRESULT UnregisterServer() const;
    // A new object of the class clsid, asked for IDispatch; raises EOleSysError on failure.
    ComPtr<IDispatch> CreateObject(REFCLSID clsid) const;

private:
    void* handle_ = nullptr;
    HRESULT(STDAPICALLTYPE* getClassObject_)(REFCLSID, REFIID, LPVOID*) = nullptr;
    HRESULT(STDAPICALLTYPE* canUnloadNow_)() = nullptr;
    HRESULT(STDAPICALLTYPE* registerServer_)() = nullptr;
    HRESULT(STDAPICALLTYPE* unregisterServer_)() = nullptr;
};

} // namespace quillax::host
