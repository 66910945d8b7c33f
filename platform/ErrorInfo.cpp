// Error records: the record object and the calling thread's current record; the system's
// message texts for statuses.
#include "platform/AnsiCodePage.h"
#include "platform/OleAuto.h"
#include "platform/SysUtils.h"

#include <atomic>
#include <cstdio>
#include <new>

namespace {

class ErrorRecord final : public ICreateErrorInfo, public IErrorInfo {
public:
    // IUnknown (shared by both interfaces)
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IErrorInfo)
            *ppv = static_cast<IErrorInfo*>(this);
        else if (riid == IID_ICreateErrorInfo)
            *ppv = static_cast<ICreateErrorInfo*>(this);
        else {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }

    // ICreateErrorInfo
    HRESULT STDMETHODCALLTYPE SetGUID(REFGUID rguid) override {
        guid_ = rguid;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetSource(LPOLESTR szSource) override {
        return Store(source_, szSource);
    }
    HRESULT STDMETHODCALLTYPE SetDescription(LPOLESTR szDescription) override {
        return Store(description_, szDescription);
    }
    HRESULT STDMETHODCALLTYPE SetHelpFile(LPOLESTR szHelpFile) override {
        return Store(helpFile_, szHelpFile);
    }
    HRESULT STDMETHODCALLTYPE SetHelpContext(DWORD dwHelpContext) override {
        helpContext_ = dwHelpContext;
        return S_OK;
    }

    // IErrorInfo
    HRESULT STDMETHODCALLTYPE GetGUID(GUID* pGUID) override {
        if (!pGUID) return E_INVALIDARG;
        *pGUID = guid_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetSource(BSTR* pBstrSource) override {
        return Hand(source_, pBstrSource);
    }
    HRESULT STDMETHODCALLTYPE GetDescription(BSTR* pBstrDescription) override {
        return Hand(description_, pBstrDescription);
    }
    HRESULT STDMETHODCALLTYPE GetHelpFile(BSTR* pBstrHelpFile) override {
        return Hand(helpFile_, pBstrHelpFile);
    }
    HRESULT STDMETHODCALLTYPE GetHelpContext(DWORD* pdwHelpContext) override {
        if (!pdwHelpContext) return E_INVALIDARG;
        *pdwHelpContext = helpContext_;
        return S_OK;
    }

private:
    ~ErrorRecord() = default;

    static HRESULT Store(std::u16string& field, LPOLESTR text) {
        try {
            field = text ? text : u"";
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        return S_OK;
    }
    static HRESULT Hand(const std::u16string& field, BSTR* out) {
        if (!out) return E_INVALIDARG;
        *out = SysAllocStringLen(field.data(), static_cast<UINT>(field.size()));
        return *out ? S_OK : E_OUTOFMEMORY;
    }

    std::atomic<ULONG> refs_{1};
    GUID guid_{};
    std::u16string source_;
    std::u16string description_;
    std::u16string helpFile_;
    DWORD helpContext_ = 0;
};

// The calling thread's current record; released when the thread ends.
thread_local quillax::ComPtr<IErrorInfo> tCurrentRecord;

} // namespace

HRESULT CreateErrorInfo(ICreateErrorInfo** pperrinfo) {
    if (!pperrinfo) return E_INVALIDARG;
    *pperrinfo = nullptr;
    auto* record = new (std::nothrow) ErrorRecord;
    if (!record) return E_OUTOFMEMORY;
    *pperrinfo = record;
    return S_OK;
}

HRESULT SetErrorInfo(ULONG, IErrorInfo* perrinfo) {
    tCurrentRecord = perrinfo;
    return S_OK;
}

HRESULT GetErrorInfo(ULONG, IErrorInfo** pperrinfo) {
    if (!pperrinfo) return E_INVALIDARG;
    *pperrinfo = tCurrentRecord.Detach();
    return *pperrinfo ? S_OK : S_FALSE;
}

std::string quillax::SysErrorMessage(HRESULT hr) {
    struct Entry {
        HRESULT code;
        const char* text;
    };
    // The platform's message texts, without the trailing full stop.
    static constexpr Entry kMessages[] = {
        {E_NOTIMPL, "Not implemented"},
        {E_NOINTERFACE, "No such interface supported"},
        {E_POINTER, "Invalid pointer"},
        {E_ABORT, "Operation aborted"},
        {E_FAIL, "Unspecified error"},
        {E_UNEXPECTED, "Catastrophic failure"},
        {E_ACCESSDENIED, "Access is denied"},
        {E_HANDLE, "The handle is invalid"},
        {E_OUTOFMEMORY, "Not enough memory resources are available to complete this operation"},
        {E_INVALIDARG, "The parameter is incorrect"},
        {CLASS_E_NOAGGREGATION, "Class does not support aggregation (or class object is remote)"},
        {CLASS_E_CLASSNOTAVAILABLE, "ClassFactory cannot supply requested class"},
        {REGDB_E_CLASSNOTREG, "Class not registered"},
        {CO_E_CLASSSTRING, "Invalid class string"},
        {DISP_E_UNKNOWNINTERFACE, "Unknown interface"},
        {DISP_E_MEMBERNOTFOUND, "Member not found"},
        {DISP_E_PARAMNOTFOUND, "Parameter not found"},
        {DISP_E_TYPEMISMATCH, "Type mismatch"},
        {DISP_E_UNKNOWNNAME, "Unknown name"},
        {DISP_E_NONAMEDARGS, "No named arguments"},
        {DISP_E_BADVARTYPE, "Bad variable type"},
        {DISP_E_EXCEPTION, "Exception occurred"},
        {DISP_E_OVERFLOW, "Out of present range"},
        {DISP_E_BADINDEX, "Invalid index"},
        {DISP_E_ARRAYISLOCKED, "Memory is locked"},
        {DISP_E_BADPARAMCOUNT, "Invalid number of parameters"},
        {DISP_E_PARAMNOTOPTIONAL, "Parameter not optional"},
        {TYPE_E_ELEMENTNOTFOUND, "Element not found"},
    };
    for (const Entry& e : kMessages)
        if (e.code == hr) return e.text;
    return {};
}
