// Class factories, registration entries, the object base classes and the failure-to-status
// rule.
#include "hosting/ComObj.h"

#include "platform/Activation.h"
#include "platform/AnsiCodePage.h"
#include "platform/Registry.h"

#include <memory>
#include <new>

namespace quillax {

// --- The failure-to-status rule ------------------------------------------------------------

namespace {

struct TFailure {
    HRESULT status = E_UNEXPECTED;
    std::string message;
    DWORD helpContext = 0;
};

TFailure DescribeFailure(std::exception_ptr failure) {
    TFailure result;
    try {
        std::rethrow_exception(failure);
    } catch (const EOleSysError& e) {
        if (FAILED(e.ErrorCode())) result.status = e.ErrorCode();
        result.message = e.Message();
        result.helpContext = static_cast<DWORD>(e.HelpContext());
    } catch (const Exception& e) {
        result.message = e.Message();
        result.helpContext = static_cast<DWORD>(e.HelpContext());
    } catch (const std::bad_alloc&) {
        result.message = "Out of memory";
    } catch (const std::exception& e) {
        result.message = e.what();
    } catch (...) {
        result.message = "Exception in the component";
    }
    return result;
}

} // namespace

HRESULT HandleSafeCallException(std::exception_ptr failure, REFIID errorIID,
                                const std::string& source) noexcept {
    const TFailure described = DescribeFailure(failure);
    try {
        ComPtr<ICreateErrorInfo> record;
        if (SUCCEEDED(CreateErrorInfo(record.GetAddressOf()))) {
            OleString wideSource = AnsiToWide(source);
            OleString wideMessage = AnsiToWide(described.message);
            record->SetGUID(errorIID);
            record->SetSource(wideSource.data());
            record->SetDescription(wideMessage.data());
            record->SetHelpContext(described.helpContext);
            ComPtr<IErrorInfo> info;
            if (SUCCEEDED(record.As(IID_IErrorInfo, &info))) SetErrorInfo(0, info.Get());
        }
    } catch (...) {
        // Out of memory while making the record: the status still tells the caller.
    }
    return described.status;
}

std::string ThreadingModelName(TThreadingModel model) {
    switch (model) {
    case TThreadingModel::tmSingle:
        return "";
    case TThreadingModel::tmApartment:
        return "Apartment";
    case TThreadingModel::tmFree:
        return "Free";
    case TThreadingModel::tmBoth:
        return "Both";
    }
    return "";
}

// --- Registry entries --------------------------------------------------------------------

namespace {

class TRegKey {
public:
    explicit TRegKey(HKEY key) : key_(key) {}
    ~TRegKey() { RegCloseKey(key_); }
    TRegKey(const TRegKey&) = delete;
    TRegKey& operator=(const TRegKey&) = delete;
    HKEY Get() const { return key_; }

private:
    HKEY key_;
};

// Creates (or opens) HKEY_CLASSES_ROOT\key and sets one string value (the default value
// when valueName is empty).
void CreateRegKey(const std::string& key, const std::string& valueName, const std::string& value) {
    HKEY handle = nullptr;
    DWORD disposition = 0;
    if (RegCreateKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_READ | KEY_CREATE_SUB_KEY | KEY_SET_VALUE, nullptr, &handle,
                        &disposition) != ERROR_SUCCESS)
        throw EOleRegistrationError("Error creating system registry entry");
    TRegKey opened(handle);
    if (RegSetValueExA(opened.Get(), valueName.empty() ? nullptr : valueName.c_str(), 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>(value.size() + 1)) != ERROR_SUCCESS)
        throw EOleRegistrationError("Error creating system registry entry");
}

// Removal ignores the deletion's own outcome: a key that is already gone is fine.
void DeleteRegKey(const std::string& key) {
    RegDeleteKeyA(HKEY_CLASSES_ROOT, key.c_str());
}

std::string ClassKey(REFCLSID clsid) {
    return "CLSID\\" + GuidToString(clsid);
}

std::string FormatClassMessage(const char* format, const std::string& name) {
    std::string message = format;
    if (const auto at = message.find("%s"); at != std::string::npos) message.replace(at, 2, name);
    return message;
}

} // namespace

// --- TComObjectFactory ---------------------------------------------------------------------

TComObjectFactory::TComObjectFactory(TComServer& server, TObjectCreator creator, REFCLSID classID,
                                     const std::string& className, const std::string& description,
                                     TClassInstancing instancing, TThreadingModel threadingModel,
                                     const std::string& objectClassName)
    : server_(server), creator_(creator), classID_(classID), className_(className),
      description_(description), instancing_(instancing), threadingModel_(threadingModel),
      objectClassName_(objectClassName) {
    server_.AddFactory(this);
}

TComObjectFactory::~TComObjectFactory() {
    server_.RemoveFactory(this);
}

HRESULT TComObjectFactory::QueryInterface(REFIID riid, void** ppvObject) {
    if (ppvObject == nullptr) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IClassFactory) {
        *ppvObject = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    *ppvObject = nullptr;
    return E_NOINTERFACE;
}

ULONG TComObjectFactory::AddRef() {
    return static_cast<ULONG>(server_.CountFactory(true));
}

ULONG TComObjectFactory::Release() {
    return static_cast<ULONG>(server_.CountFactory(false));
}

HRESULT TComObjectFactory::CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) {
    if (ppvObject == nullptr) return E_POINTER;
    *ppvObject = nullptr;
    if (pUnkOuter != nullptr && riid != IID_IUnknown) return CLASS_E_NOAGGREGATION;
    TComObject* object = nullptr;
    try {
        object = CreateComObject(pUnkOuter);
    } catch (...) {
        return E_UNEXPECTED;
    }
    const HRESULT hr = object->ObjQueryInterface(riid, ppvObject);
    if (FAILED(hr)) delete object; // nobody holds a reference yet
    return hr;
}

HRESULT TComObjectFactory::LockServer(BOOL fLock) {
    const HRESULT hr = CoLockObjectExternal(this, fLock, TRUE);
    server_.CountObject(fLock != FALSE);
    return hr;
}

std::string TComObjectFactory::GetProgID() {
    if (className_.empty()) return "";
    return server_.GetServerName() + "." + className_;
}

TComObject* TComObjectFactory::CreateComObject(IUnknown* controller) {
    std::unique_ptr<TComObject> object(creator_());
    object->Construct(this, controller);
    return object.release();
}

std::string TComObjectFactory::ClassMessage(const char* format) const {
    return FormatClassMessage(format, objectClassName_);
}

void TComObjectFactory::UpdateRegistry(bool registering) {
    if (instancing_ == TClassInstancing::ciInternal) return;
    const std::string classKey = ClassKey(classID_);
    const std::string progID = GetProgID();
    const std::string serverKey = classKey + "\\" + server_.GetServerKey();
    if (registering) {
        CreateRegKey(classKey, "", description_);
        CreateRegKey(serverKey, "", RegisteredServerPath(server_.GetServerFileName()));
        const std::string threading = ThreadingModelName(threadingModel_);
        if (!threading.empty()) CreateRegKey(serverKey, "ThreadingModel", threading);
        if (!progID.empty()) {
            CreateRegKey(progID, "", description_);
            CreateRegKey(progID + "\\Clsid", "", GuidToString(classID_));
            CreateRegKey(classKey + "\\ProgID", "", progID);
        }
    } else {
        if (!progID.empty()) {
            DeleteRegKey(classKey + "\\ProgID");
            DeleteRegKey(progID + "\\Clsid");
            DeleteRegKey(progID);
        }
        DeleteRegKey(serverKey);
        DeleteRegKey(classKey);
    }
}

// --- TTypedComObjectFactory ----------------------------------------------------------------

TTypedComObjectFactory::TTypedComObjectFactory(TComServer& server, TObjectCreator creator,
                                               REFCLSID classID, TClassInstancing instancing,
                                               TThreadingModel threadingModel,
                                               const std::string& objectClassName)
    : TComObjectFactory(server, creator, classID, "", "", instancing, threadingModel,
                        objectClassName) {
    if (FAILED(server.GetTypeLib()->GetTypeInfoOfGuid(classID, classInfo_.GetAddressOf())))
        throw EOleError(ClassMessage("Type information missing for class %s"));
    BStr name;
    BStr description;
    OleCheck(classInfo_->GetDocumentation(MEMBERID_NIL, name.ReleaseAndGetAddressOf(),
                                          description.ReleaseAndGetAddressOf(), nullptr, nullptr));
    SetClassName(BstrToAnsi(name.Get()));
    SetDescription(BstrToAnsi(description.Get()));
}

void TTypedComObjectFactory::UpdateRegistry(bool registering) {
    const std::string classKey = ClassKey(ClassID());
    if (registering) {
        TComObjectFactory::UpdateRegistry(true);
        TLIBATTR* attr = nullptr;
        OleCheck(Server().GetTypeLib()->GetLibAttr(&attr));
        const std::string version =
            std::to_string(attr->wMajorVerNum) + "." + std::to_string(attr->wMinorVerNum);
        const std::string libid = GuidToString(attr->guid);
        Server().GetTypeLib()->ReleaseTLibAttr(attr);
        CreateRegKey(classKey + "\\Version", "", version);
        CreateRegKey(classKey + "\\TypeLib", "", libid);
    } else {
        DeleteRegKey(classKey + "\\TypeLib");
        DeleteRegKey(classKey + "\\Version");
        TComObjectFactory::UpdateRegistry(false);
    }
}

// --- TAutoObjectFactory --------------------------------------------------------------------

TAutoObjectFactory::TAutoObjectFactory(TComServer& server, TObjectCreator creator, REFCLSID classID,
                                       TClassInstancing instancing, TThreadingModel threadingModel,
                                       const std::string& objectClassName, REFIID objectDispIID)
    : TTypedComObjectFactory(server, creator, classID, instancing, threadingModel,
                             objectClassName) {
    // The class's default interface.
    TYPEATTR* classAttr = nullptr;
    OleCheck(ClassInfo()->GetTypeAttr(&classAttr));
    const WORD implTypes = classAttr->cImplTypes;
    ClassInfo()->ReleaseTypeAttr(classAttr);
    for (UINT i = 0; i < implTypes && !dispTypeInfo_; ++i) {
        INT flags = 0;
        HREFTYPE ref = 0;
        if (SUCCEEDED(ClassInfo()->GetImplTypeFlags(i, &flags)) &&
            (flags & IMPLTYPEFLAG_FDEFAULT) != 0 &&
            SUCCEEDED(ClassInfo()->GetRefTypeOfImplType(i, &ref)))
            ClassInfo()->GetRefTypeInfo(ref, dispTypeInfo_.GetAddressOf());
    }
    if (!dispTypeInfo_) throw EOleError(ClassMessage("Incorrect type information for class %s"));
    TYPEATTR* dispAttr = nullptr;
    OleCheck(dispTypeInfo_->GetTypeAttr(&dispAttr));
    dispIntfIID_ = dispAttr->guid;
    dispTypeInfo_->ReleaseTypeAttr(dispAttr);
    if (dispIntfIID_ != objectDispIID)
        throw EOleError(ClassMessage("Dispatch interface missing from class %s"));
    SetErrorIID(dispIntfIID_);
}

bool TAutoObjectFactory::GetIntfEntry(REFIID iid) const {
    return iid == dispIntfIID_;
}

// --- TComObject ----------------------------------------------------------------------------

TComObject::TComObject() = default;

TComObject::~TComObject() {
    if (refCount_.load() > 0) CoDisconnectObject(&innerUnknown_, 0);
    if (counted_) factory_->Server().CountObject(false);
}

void TComObject::Construct(TComObjectFactory* factory, IUnknown* controller) {
    factory_ = factory;
    controller_ = controller;
    refCount_ = 1; // held while the object is built
    factory_->Server().CountObject(true);
    counted_ = true;
    Initialize();
    --refCount_;
}

ULONG TComObject::ObjAddRef() {
    return static_cast<ULONG>(refCount_.fetch_add(1, std::memory_order_relaxed) + 1);
}

ULONG TComObject::ObjRelease() {
    const LONG count = refCount_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (count == 0) delete this;
    return static_cast<ULONG>(count);
}

HRESULT TComObject::ObjQueryInterface(REFIID iid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    IUnknown* found = iid == IID_IUnknown ? &innerUnknown_ : GetInterface(iid);
    if (found == nullptr) {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    found->AddRef();
    *ppv = found;
    return S_OK;
}

HRESULT TComObject::OuterQueryInterface(REFIID iid, void** ppv) {
    return controller_ ? controller_->QueryInterface(iid, ppv) : ObjQueryInterface(iid, ppv);
}

ULONG TComObject::OuterAddRef() {
    return controller_ ? controller_->AddRef() : ObjAddRef();
}

ULONG TComObject::OuterRelease() {
    return controller_ ? controller_->Release() : ObjRelease();
}

IUnknown* TComObject::GetInterface(REFIID iid) {
    if (iid == IID_ISupportErrorInfo) return &supportErrorInfo_;
    return nullptr;
}

HRESULT TComObject::SafeCallException(std::exception_ptr failure) noexcept {
    std::string source;
    IID errorIID = IID_NULL;
    if (factory_ != nullptr) {
        errorIID = factory_->ErrorIID();
        try {
            source = factory_->GetProgID();
        } catch (...) {
        }
    }
    return HandleSafeCallException(failure, errorIID, source);
}

HRESULT TComObject::TSupportErrorInfo::InterfaceSupportsErrorInfo(REFIID riid) {
    return owner_.GetInterface(riid) != nullptr || riid == IID_IUnknown ? S_OK : S_FALSE;
}

// --- TTypedComObject -----------------------------------------------------------------------

IUnknown* TTypedComObject::GetInterface(REFIID iid) {
    if (iid == IID_IProvideClassInfo) return &provideClassInfo_;
    return TComObject::GetInterface(iid);
}

HRESULT TTypedComObject::TProvideClassInfo::GetClassInfo(ITypeInfo** ppTI) {
    if (ppTI == nullptr) return E_POINTER;
    *ppTI = nullptr;
    auto* factory = dynamic_cast<TTypedComObjectFactory*>(owner_.Factory());
    if (factory == nullptr || factory->ClassInfo() == nullptr) return E_UNEXPECTED;
    *ppTI = factory->ClassInfo();
    (*ppTI)->AddRef();
    return S_OK;
}

// --- IDispatch of automation objects -------------------------------------------------------

namespace AutoDispatch {

HRESULT GetTypeInfoCount(UINT* pctinfo) {
    if (pctinfo == nullptr) return E_POINTER;
    *pctinfo = 1;
    return S_OK;
}

HRESULT GetTypeInfo(ITypeInfo* dispTypeInfo, UINT iTInfo, ITypeInfo** ppTInfo) {
    if (ppTInfo == nullptr) return E_POINTER;
    *ppTInfo = nullptr;
    if (iTInfo != 0) return DISP_E_BADINDEX;
    if (dispTypeInfo == nullptr) return E_UNEXPECTED;
    dispTypeInfo->AddRef();
    *ppTInfo = dispTypeInfo;
    return S_OK;
}

HRESULT GetIDsOfNames(ITypeInfo* dispTypeInfo, LPOLESTR* rgszNames, UINT cNames, DISPID* rgDispId) {
    if (dispTypeInfo == nullptr) return E_UNEXPECTED;
    return DispGetIDsOfNames(dispTypeInfo, rgszNames, cNames, rgDispId);
}

HRESULT Invoke(void* dualInterface, ITypeInfo* dispTypeInfo, DISPID dispIdMember, WORD wFlags,
               DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO* pExcepInfo,
               UINT* puArgErr) {
    if (dispTypeInfo == nullptr) return E_UNEXPECTED;
    constexpr WORD putFlags = DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF;
    if ((wFlags & putFlags) != 0) wFlags = putFlags;
    return DispInvoke(dualInterface, dispTypeInfo, dispIdMember, wFlags, pDispParams, pVarResult,
                      pExcepInfo, puArgErr);
}

} // namespace AutoDispatch

} // namespace quillax
