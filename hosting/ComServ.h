// The in-process server: the one server object of the library with its object and factory
// counts and its list of class factories, and the four entry points the platform calls.
#pragma once

#include "hosting/EntryPoints.h"
#include "platform/OleAuto.h"

#include <atomic>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <vector>

namespace quillax {

class TComObjectFactory;

// What a class factory and its objects need of their server.
class TComServerObject {
public:
    virtual ~TComServerObject() = default;
    // Counts a live object (or an outstanding server lock) created or destroyed; returns the
    // new count.
    virtual LONG CountObject(bool created) = 0;
    // Counts a class factory reference taken or dropped; returns the new count.
    virtual LONG CountFactory(bool created) = 0;
    virtual std::string GetHelpFileName() const = 0;
    virtual std::string GetServerFileName() const = 0;
    virtual std::string GetServerKey() const = 0;
    virtual std::string GetServerName() = 0;
    virtual bool GetStartSuspended() const = 0;
    virtual ITypeLib* GetTypeLib() = 0;
    virtual void SetHelpFileName(const std::string& value) = 0;
};

// The server of this library: counts changed only atomically, the factory list under a
// many-readers/one-writer lock, the type library loaded on first need and kept.
class TComServer : public TComServerObject {
public:
    TComServer() = default;
    TComServer(const TComServer&) = delete;
    TComServer& operator=(const TComServer&) = delete;

    LONG CountObject(bool created) override;
    LONG CountFactory(bool created) override;
    std::string GetHelpFileName() const override;
    // The full path of the file this code was loaded from.
    std::string GetServerFileName() const override;
    std::string GetServerKey() const override { return "InprocServer32"; }
    // The type library's name.
    std::string GetServerName() override;
    bool GetStartSuspended() const override { return false; }
    // Raises when the type library cannot be built.
    ITypeLib* GetTypeLib() override;
    void SetHelpFileName(const std::string& value) override;

    LONG ObjectCount() const { return objectCount_.load(); }
    LONG FactoryCount() const { return factoryCount_.load(); }
    bool CanUnloadNow() const { return ObjectCount() == 0 && FactoryCount() == 0; }

    // The factory list: changed only when a factory is made or destroyed.
    void AddFactory(TComObjectFactory* factory);
    void RemoveFactory(TComObjectFactory* factory);
    // Hands out the factory of clsid for interface iid: S_OK, E_NOINTERFACE, or
    // CLASS_E_CLASSNOTAVAILABLE; *ppv is null on failure.
    HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** ppv);

    // Writes (or removes) the type library's and every class's registry entries; raises on
    // a failure while writing. Removal ignores each deletion's own failure.
    void UpdateRegistry(bool registering);

    // A class factory that could not be made when the library was loaded: its message, kept
    // so that a host can be told why the class is missing.
    void SetLoadError(const std::string& message);
    std::string LoadError() const;

private:
    std::atomic<LONG> objectCount_{0};
    std::atomic<LONG> factoryCount_{0};

    mutable std::mutex stateLock_; // type library, help file, load error
    ComPtr<ITypeLib> typeLib_;
    std::string helpFileName_;
    std::string loadError_;

    mutable std::shared_mutex factoriesLock_;
    std::vector<TComObjectFactory*> factories_;
};

// The server object of this library, made on first use (when the library is loaded).
TComServer& ComServer();

// The form of the server's path that its class registration names: the path itself, or,
// where the platform has them, its short form when the path contains a space.
std::string RegisteredServerPath(const std::string& path);

} // namespace quillax
