// The host's Response and scripting context objects.
#include "apps/page/HostResponse.h"

#include "platform/Utf8.h"

#include <atomic>

namespace quillax::host {

namespace {

// Reference counting shared by the host's objects.
template <class Interface>
class THostObject : public Interface {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IDispatch || riid == OwnIID()) {
            *ppv = static_cast<Interface*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refCount_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG count = --refCount_;
        if (count == 0) delete this;
        return count;
    }
    // The host's objects are reached through their function tables only.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) override {
        if (pctinfo != nullptr) *pctinfo = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) override {
        if (ppTInfo != nullptr) *ppTInfo = nullptr;
        return DISP_E_BADINDEX;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                     UINT*) override {
        return E_NOTIMPL;
    }

protected:
    THostObject() = default;
    virtual ~THostObject() = default;
    virtual const IID& OwnIID() const = 0;

private:
    std::atomic<ULONG> refCount_{1};
};

class TResponse final : public THostObject<IResponse> {
public:
    explicit TResponse(TResponseSink& sink) : sink_(sink) {}

    HRESULT STDMETHODCALLTYPE put_ContentType(BSTR value) override {
        return sink_.ContentType(Utf16ToUtf8Replacing({value ? value : u"", SysStringLen(value)}));
    }
    HRESULT STDMETHODCALLTYPE put_Expires(LONG minutes) override { return sink_.Expires(minutes); }
    HRESULT STDMETHODCALLTYPE AddHeader(BSTR name, BSTR value) override {
        return sink_.AddHeader(Utf16ToUtf8Replacing({name ? name : u"", SysStringLen(name)}),
                               Utf16ToUtf8Replacing({value ? value : u"", SysStringLen(value)}));
    }
    HRESULT STDMETHODCALLTYPE BinaryWrite(VARIANT input) override {
        const VARIANT* value = &input;
        if (V_VT(value) == (VT_BYREF | VT_VARIANT)) value = V_VARIANTREF(value);
        if (V_VT(value) != (VT_ARRAY | VT_UI1)) return DISP_E_TYPEMISMATCH;
        SAFEARRAY* array = V_ARRAY(value);
        LONG lower = 0;
        LONG upper = -1;
        if (SafeArrayGetDim(array) != 1 || FAILED(SafeArrayGetLBound(array, 1, &lower)) ||
            FAILED(SafeArrayGetUBound(array, 1, &upper)))
            return E_INVALIDARG;
        void* data = nullptr;
        if (HRESULT hr = SafeArrayAccessData(array, &data); FAILED(hr)) return hr;
        const auto count = static_cast<std::size_t>(static_cast<LONGLONG>(upper) - lower + 1);
        const HRESULT hr = sink_.BinaryWrite({static_cast<const BYTE*>(data), count});
        SafeArrayUnaccessData(array);
        return hr;
    }
    HRESULT STDMETHODCALLTYPE Flush() override { return sink_.Flush(); }

    // Members this host does not offer.
    HRESULT STDMETHODCALLTYPE get_Buffer(VARIANT_BOOL*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_Buffer(VARIANT_BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_ContentType(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Expires(VARIANT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_ExpiresAbsolute(VARIANT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_ExpiresAbsolute(DATE) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Cookies(IRequestDictionary**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Status(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_Status(BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Add(BSTR, BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE AppendToLog(BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Clear() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE End() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Redirect(BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Write(VARIANT) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE WriteBlock(SHORT) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE IsClientConnected(VARIANT_BOOL*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_CharSet(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_CharSet(BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Pics(BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_CacheControl(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_CacheControl(BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_CodePage(LONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_CodePage(LONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_LCID(LONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_LCID(LONG) override { return E_NOTIMPL; }

private:
    const IID& OwnIID() const override { return IID_IResponse; }
    TResponseSink& sink_;
};

class TScriptingContext final : public THostObject<IScriptingContext> {
public:
    explicit TScriptingContext(TResponseSink& sink) { response_.Attach(new TResponse(sink)); }

    HRESULT STDMETHODCALLTYPE get_Response(IResponse** ppResponse) override {
        return response_.CopyTo(ppResponse);
    }
    HRESULT STDMETHODCALLTYPE get_Request(IRequest**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Server(IServer**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Session(ISessionObject**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Application(IApplicationObject**) override { return E_NOTIMPL; }

private:
    const IID& OwnIID() const override { return IID_IScriptingContext; }
    ComPtr<IResponse> response_;
};

} // namespace

ComPtr<IScriptingContext> MakeScriptingContext(TResponseSink& sink) {
    ComPtr<IScriptingContext> context;
    context.Attach(new TScriptingContext(sink));
    return context;
}

} // namespace quillax::host
