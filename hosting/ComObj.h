// Class factories and the objects they make: TComObjectFactory, TTypedComObjectFactory and
// TAutoObjectFactory; TComObject (one reference count for all the object's interfaces,
// aggregation, ISupportErrorInfo), TTypedComObject (IProvideClassInfo) and TAutoObject (the
// dual interface's IDispatch through the type information). SafeCall is the boundary rule
// of every automation member: a failure becomes a status and the thread's error record.
#pragma once

#include "hosting/ComServ.h"
#include "platform/SysUtils.h"

#include <atomic>
#include <exception>
#include <string>
#include <type_traits>

namespace quillax {

// A registry key or value that could not be written.
class EOleRegistrationError : public EOleError {
public:
    using EOleError::EOleError;
};

enum class TClassInstancing { ciInternal, ciSingleInstance, ciMultiInstance };
enum class TThreadingModel { tmSingle, tmApartment, tmFree, tmBoth };

// "Apartment", "Free", "Both"; empty for the single-threaded model.
std::string ThreadingModelName(TThreadingModel model);

// Turns the exception being handled into a status (the failed status of an object-model
// call, else E_UNEXPECTED) and makes a new error record the thread's current one, with the
// interface identifier, the source and the failure's message and help context.
HRESULT HandleSafeCallException(std::exception_ptr failure, REFIID errorIID,
                                const std::string& source) noexcept;

class TComObject;

// --- Class factories ---------------------------------------------------------------------

class TComObjectFactory : public IClassFactory {
public:
    // Makes a new object of the factory's class, all fields zero.
    using TObjectCreator = TComObject* (*)();

    // Enters itself in the server's factory list; leaves it when destroyed.
    TComObjectFactory(TComServer& server, TObjectCreator creator, REFCLSID classID,
                      const std::string& className, const std::string& description,
                      TClassInstancing instancing, TThreadingModel threadingModel,
                      const std::string& objectClassName);
    virtual ~TComObjectFactory();
    TComObjectFactory(const TComObjectFactory&) = delete;
    TComObjectFactory& operator=(const TComObjectFactory&) = delete;

    // IUnknown: references are counted in the server's factory count and never destroy the
    // factory.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    // IClassFactory
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid,
                                             void** ppvObject) override;
    HRESULT STDMETHODCALLTYPE LockServer(BOOL fLock) override;

    // Server name, a full stop, class name.
    virtual std::string GetProgID();
    // A new object with reference count 0, counted by the server; raises on failure.
    virtual TComObject* CreateComObject(IUnknown* controller);
    // Writes (or removes) the class's registry entries.
    virtual void UpdateRegistry(bool registering);

    TComServer& Server() const { return server_; }
    const CLSID& ClassID() const { return classID_; }
    const std::string& ClassName() const { return className_; }
    const std::string& Description() const { return description_; }
    const std::string& ObjectClassName() const { return objectClassName_; }
    TClassInstancing Instancing() const { return instancing_; }
    TThreadingModel ThreadingModel() const { return threadingModel_; }
    // The interface named in the error records of the class's objects.
    const IID& ErrorIID() const { return errorIID_; }

protected:
    void SetClassName(const std::string& value) { className_ = value; }
    void SetDescription(const std::string& value) { description_ = value; }
    void SetErrorIID(REFIID value) { errorIID_ = value; }
    // Builds a message with the object class's name in place of %s.
    std::string ClassMessage(const char* format) const;

private:
    TComServer& server_;
    TObjectCreator creator_;
    CLSID classID_;
    std::string className_;
    std::string description_;
    TClassInstancing instancing_;
    TThreadingModel threadingModel_;
    std::string objectClassName_;
    IID errorIID_ = IID_NULL;
};

// A factory whose class is described in the server's type library: the class name and
// description come from there, and the registry gets the Version and TypeLib entries too.
class TTypedComObjectFactory : public TComObjectFactory {
public:
    // Raises "Type information missing for class %s" when the class is not in the library.
    TTypedComObjectFactory(TComServer& server, TObjectCreator creator, REFCLSID classID,
                           TClassInstancing instancing, TThreadingModel threadingModel,
                           const std::string& objectClassName);

    void UpdateRegistry(bool registering) override;

    ITypeInfo* ClassInfo() const { return classInfo_.Get(); }

private:
    ComPtr<ITypeInfo> classInfo_;
};

// A factory of automation objects: their dispatch type information is the class's default
// interface in the type library, which is also the interface of their error records.
class TAutoObjectFactory : public TTypedComObjectFactory {
public:
    // objectDispIID: the dual interface the object class implements. Raises "Incorrect type
    // information for class %s" when the class has no default interface, "Dispatch interface
    // missing from class %s" when the object class does not implement it.
    TAutoObjectFactory(TComServer& server, TObjectCreator creator, REFCLSID classID,
                       TClassInstancing instancing, TThreadingModel threadingModel,
                       const std::string& objectClassName, REFIID objectDispIID);

    // The object class's interface entry for iid: true when the objects answer it as their
    // dispatch interface.
    virtual bool GetIntfEntry(REFIID iid) const;

    ITypeInfo* DispTypeInfo() const { return dispTypeInfo_.Get(); }
    const IID& DispIntfIID() const { return dispIntfIID_; }

private:
    ComPtr<ITypeInfo> dispTypeInfo_;
    IID dispIntfIID_ = IID_NULL;
};

// --- Objects -------------------------------------------------------------------------------

// One reference count shared by every interface of the object; the object is destroyed with
// its last reference. When aggregated, every interface but the inner IUnknown delegates its
// IUnknown members to the controlling (outer) object.
class TComObject {
public:
    TComObject(const TComObject&) = delete;
    TComObject& operator=(const TComObject&) = delete;
    virtual ~TComObject();

    // Runs once the object is linked to its factory, before anyone holds a reference.
    virtual void Initialize() {}
    // The non-delegating IUnknown members.
    virtual ULONG ObjAddRef();
    virtual HRESULT ObjQueryInterface(REFIID iid, void** ppv);
    virtual ULONG ObjRelease();

    // The IUnknown members of the object's interfaces: to the controller when aggregated.
    HRESULT OuterQueryInterface(REFIID iid, void** ppv);
    ULONG OuterAddRef();
    ULONG OuterRelease();

    TComObjectFactory* Factory() const { return factory_; }
    IUnknown* Controller() const { return controller_; }
    LONG RefCount() const { return refCount_.load(); }

    // Runs a member's body under the failure-to-status rule. A body returning void reports
    // S_OK when it completes; one returning HRESULT reports its own status.
    template <class Body>
    HRESULT SafeCall(Body&& body) noexcept {
        try {
            if constexpr (std::is_void_v<std::invoke_result_t<Body&>>) {
                body();
                return S_OK;
            } else {
                return body();
            }
        } catch (...) {
            return SafeCallException(std::current_exception());
        }
    }
    // The error record names the factory's error interface and the class's ProgID.
    virtual HRESULT SafeCallException(std::exception_ptr failure) noexcept;

protected:
    TComObject();
    // The interface of this object for iid, without a new reference, or null. Each class
    // answers its own interfaces and asks its base for the rest.
    virtual IUnknown* GetInterface(REFIID iid);

private:
    friend class TComObjectFactory;
    void Construct(TComObjectFactory* factory, IUnknown* controller);

    struct TInnerUnknown final : IUnknown {
        explicit TInnerUnknown(TComObject& owner) : owner_(owner) {}
        HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
            return owner_.ObjQueryInterface(riid, ppv);
        }
        ULONG STDMETHODCALLTYPE AddRef() override { return owner_.ObjAddRef(); }
        ULONG STDMETHODCALLTYPE Release() override { return owner_.ObjRelease(); }
        TComObject& owner_;
    };
    struct TSupportErrorInfo final : ISupportErrorInfo {
        explicit TSupportErrorInfo(TComObject& owner) : owner_(owner) {}
        HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
            return owner_.OuterQueryInterface(riid, ppv);
        }
        ULONG STDMETHODCALLTYPE AddRef() override { return owner_.OuterAddRef(); }
        ULONG STDMETHODCALLTYPE Release() override { return owner_.OuterRelease(); }
        // S_OK for any interface the object answers, S_FALSE otherwise.
        HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) override;
        TComObject& owner_;
    };

    std::atomic<LONG> refCount_{0};
    TComObjectFactory* factory_ = nullptr;
    IUnknown* controller_ = nullptr;
    bool counted_ = false;
    TInnerUnknown innerUnknown_{*this};
    TSupportErrorInfo supportErrorInfo_{*this};
};

// An object whose class is in the type library: IProvideClassInfo hands out its class's
// type information.
class TTypedComObject : public TComObject {
protected:
    TTypedComObject() = default;
    IUnknown* GetInterface(REFIID iid) override;

private:
    struct TProvideClassInfo final : IProvideClassInfo {
        explicit TProvideClassInfo(TTypedComObject& owner) : owner_(owner) {}
        HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
            return owner_.OuterQueryInterface(riid, ppv);
        }
        ULONG STDMETHODCALLTYPE AddRef() override { return owner_.OuterAddRef(); }
        ULONG STDMETHODCALLTYPE Release() override { return owner_.OuterRelease(); }
        HRESULT STDMETHODCALLTYPE GetClassInfo(ITypeInfo** ppTI) override;
        TTypedComObject& owner_;
    };
    TProvideClassInfo provideClassInfo_{*this};
};

// The IDispatch members of an automation object, shared by every dual interface.
namespace AutoDispatch {
HRESULT GetTypeInfoCount(UINT* pctinfo);
HRESULT GetTypeInfo(ITypeInfo* dispTypeInfo, UINT iTInfo, ITypeInfo** ppTInfo);
HRESULT GetIDsOfNames(ITypeInfo* dispTypeInfo, LPOLESTR* rgszNames, UINT cNames, DISPID* rgDispId);
// A property put, plain or by reference, is passed on with both put flags set and no other.
HRESULT Invoke(void* dualInterface, ITypeInfo* dispTypeInfo, DISPID dispIdMember, WORD wFlags,
               DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr);
} // namespace AutoDispatch

// An automation object implementing the dual interface Dual: IDispatch goes through the
// dispatch type information of the object's factory to Dual's function table.
template <class Dual>
class TAutoObject : public TTypedComObject, public Dual {
public:
    // Links the object to its factory's dispatch type information.
    void Initialize() override {
        TTypedComObject::Initialize();
        if (auto* factory = dynamic_cast<TAutoObjectFactory*>(Factory())) {
            dispTypeInfo_ = factory->DispTypeInfo();
            dispIntfIID_ = factory->DispIntfIID();
        }
    }

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override {
        return OuterQueryInterface(riid, ppvObject);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return OuterAddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return OuterRelease(); }

    // IDispatch
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* rgszNames, UINT cNames, LCID,
                                            DISPID* rgDispId) override {
        return AutoDispatch::GetIDsOfNames(dispTypeInfo_, rgszNames, cNames, rgDispId);
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT iTInfo, LCID, ITypeInfo** ppTInfo) override {
        return AutoDispatch::GetTypeInfo(dispTypeInfo_, iTInfo, ppTInfo);
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) override {
        return AutoDispatch::GetTypeInfoCount(pctinfo);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID dispIdMember, REFIID, LCID, WORD wFlags,
                                     DISPPARAMS* pDispParams, VARIANT* pVarResult,
                                     EXCEPINFO* pExcepInfo, UINT* puArgErr) override {
        return AutoDispatch::Invoke(static_cast<Dual*>(this), dispTypeInfo_, dispIdMember, wFlags,
                                    pDispParams, pVarResult, pExcepInfo, puArgErr);
    }
    // Called when an event sink connects or disconnects; this object has no events.
    virtual void EventSinkChanged(IUnknown* /*sink*/) {}

protected:
    TAutoObject() = default;
    IUnknown* GetInterface(REFIID iid) override {
        if (iid == IID_IDispatch || (iid == dispIntfIID_ && iid != IID_NULL))
            return static_cast<Dual*>(this);
        return TTypedComObject::GetInterface(iid);
    }
    ITypeInfo* DispTypeInfo() const { return dispTypeInfo_; }

private:
    ITypeInfo* dispTypeInfo_ = nullptr; // owned by the factory, which outlives its objects
    IID dispIntfIID_ = IID_NULL;
};

} // namespace quillax
