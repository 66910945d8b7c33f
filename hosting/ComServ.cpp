// The server object, its counts and factory list, registration of the library, and the
// four exported entry points.
#include "hosting/ComServ.h"

#include "hosting/ComObj.h"
#include "hosting/Kemrin_Quillax_TLB.h"
#include "platform/AnsiCodePage.h"

#include <algorithm>

namespace quillax {

LONG TComServer::CountObject(bool created) {
    return created ? ++objectCount_ : --objectCount_;
}

LONG TComServer::CountFactory(bool created) {
    return created ? ++factoryCount_ : --factoryCount_;
}

std::string TComServer::GetHelpFileName() const {
    std::lock_guard lock(stateLock_);
    return helpFileName_;
}

void TComServer::SetHelpFileName(const std::string& value) {
    std::lock_guard lock(stateLock_);
    helpFileName_ = value;
}

ITypeLib* TComServer::GetTypeLib() {
    std::lock_guard lock(stateLock_);
    if (!typeLib_) OleCheck(LoadKemrin_QuillaxTypeLib(typeLib_.ReleaseAndGetAddressOf()));
    return typeLib_.Get();
}

std::string TComServer::GetServerName() {
    BStr name;
    OleCheck(GetTypeLib()->GetDocumentation(-1, name.ReleaseAndGetAddressOf(), nullptr, nullptr,
                                            nullptr));
    return BstrToAnsi(name.Get());
}

void TComServer::SetLoadError(const std::string& message) {
    std::lock_guard lock(stateLock_);
    loadError_ = message;
}

std::string TComServer::LoadError() const {
    std::lock_guard lock(stateLock_);
    return loadError_;
}

void TComServer::AddFactory(TComObjectFactory* factory) {
    std::unique_lock lock(factoriesLock_);
    factories_.push_back(factory);
}

void TComServer::RemoveFactory(TComObjectFactory* factory) {
    std::unique_lock lock(factoriesLock_);
    std::erase(factories_, factory);
}

HRESULT TComServer::GetClassObject(REFCLSID clsid, REFIID iid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    std::shared_lock lock(factoriesLock_);
    for (TComObjectFactory* factory : factories_) {
        if (factory->ClassID() == clsid) {
            const HRESULT hr = factory->QueryInterface(iid, ppv);
            return SUCCEEDED(hr) ? S_OK : E_NOINTERFACE;
        }
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

void TComServer::UpdateRegistry(bool registering) {
    ITypeLib* typeLib = GetTypeLib();
    if (registering) {
        // The type library first, with the folder of the library as its help directory.
        const std::string path = GetServerFileName();
        OleString widePath = AnsiToWide(path);
        OleString wideFolder = AnsiToWide(path.substr(0, path.find_last_of("/\\") + 1));
        OleCheck(RegisterTypeLib(typeLib, widePath.data(), wideFolder.data()));
    } else {
        TLIBATTR* attr = nullptr;
        if (SUCCEEDED(typeLib->GetLibAttr(&attr)) && attr != nullptr) {
            UnRegisterTypeLib(attr->guid, attr->wMajorVerNum, attr->wMinorVerNum, attr->lcid,
                              attr->syskind);
            typeLib->ReleaseTLibAttr(attr);
        }
    }
    std::vector<TComObjectFactory*> factories;
    {
        std::shared_lock lock(factoriesLock_);
        factories = factories_;
    }
    for (TComObjectFactory* factory : factories)
        factory->UpdateRegistry(registering);
}

TComServer& ComServer() {
    static TComServer server;
    return server;
}

} // namespace quillax

using quillax::ComServer;

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    return ComServer().GetClassObject(rclsid, riid, ppv);
}

STDAPI DllCanUnloadNow() {
    return ComServer().CanUnloadNow() ? S_OK : S_FALSE;
}

STDAPI DllRegisterServer() {
    try {
        ComServer().UpdateRegistry(true);
        return S_OK;
    } catch (...) {
        return E_FAIL;
    }
}

STDAPI DllUnregisterServer() {
    try {
        ComServer().UpdateRegistry(false);
        return S_OK;
    } catch (...) {
        return E_FAIL;
    }
}
