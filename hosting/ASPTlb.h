// The interfaces of the web server's scripting host that a page object uses: the page's
// scripting context and its Response object, in the host's published function-table order,
// and the page-hook interface through which the host announces the start and end of a page.
// Only the members marked "used" are called by the component; the others keep their slots.
#pragma once

#include "platform/OleAuto.h"

inline constexpr IID IID_IScriptingContext =
    quillax::MakeGuid("{D97A6DA0-A868-11CF-83AE-00B0C90C2BD8}");
inline constexpr IID IID_IResponse = quillax::MakeGuid("{D97A6DA0-A864-11CF-83BE-00A0C90C2BD8}");
// The page hooks a host looks for on any object it creates for a page.
inline constexpr IID IID_IPageHooks = quillax::MakeGuid("{7A8B9910-F33C-11D2-9EDD-00C04F6539EE}");

// Host objects the component never touches; only their pointers appear in signatures.
struct IRequest;
struct IServer;
struct ISessionObject;
struct IApplicationObject;
struct IRequestDictionary;

struct IResponse : IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get_Buffer(VARIANT_BOOL* fIsBuffering) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Buffer(VARIANT_BOOL fIsBuffering) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ContentType(BSTR* pbstrContentTypeRet) = 0;
    // used: the MIME type of the response
    virtual HRESULT STDMETHODCALLTYPE put_ContentType(BSTR bstrContentType) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Expires(VARIANT* pvarExpiresMinutesRet) = 0;
    // used: minutes until the response expires (0 for JPEG)
    virtual HRESULT STDMETHODCALLTYPE put_Expires(LONG lExpiresMinutes) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ExpiresAbsolute(VARIANT* pvarExpiresRet) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_ExpiresAbsolute(DATE dtExpires) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Cookies(IRequestDictionary** ppCookies) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Status(BSTR* pbstrStatusRet) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Status(BSTR bstrStatus) = 0;
    virtual HRESULT STDMETHODCALLTYPE Add(BSTR bstrHeaderValue, BSTR bstrHeaderName) = 0;
    // used: one header field, name first
    virtual HRESULT STDMETHODCALLTYPE AddHeader(BSTR bstrHeaderName, BSTR bstrHeaderValue) = 0;
    virtual HRESULT STDMETHODCALLTYPE AppendToLog(BSTR bstrLogEntry) = 0;
    // used: appends the bytes of a VT_ARRAY | VT_UI1 variant to the body
    virtual HRESULT STDMETHODCALLTYPE BinaryWrite(VARIANT varInput) = 0;
    virtual HRESULT STDMETHODCALLTYPE Clear() = 0;
    virtual HRESULT STDMETHODCALLTYPE End() = 0;
    // used: sends what is buffered
    virtual HRESULT STDMETHODCALLTYPE Flush() = 0;
    virtual HRESULT STDMETHODCALLTYPE Redirect(BSTR bstrURL) = 0;
    virtual HRESULT STDMETHODCALLTYPE Write(VARIANT varText) = 0;
    virtual HRESULT STDMETHODCALLTYPE WriteBlock(SHORT iBlockNumber) = 0;
    virtual HRESULT STDMETHODCALLTYPE IsClientConnected(VARIANT_BOOL* pfIsClientConnected) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_CharSet(BSTR* pbstrCharSetRet) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_CharSet(BSTR bstrCharSet) = 0;
    virtual HRESULT STDMETHODCALLTYPE Pics(BSTR bstrHeaderValue) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_CacheControl(BSTR* pbstrCacheControl) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_CacheControl(BSTR bstrCacheControl) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_CodePage(LONG* plvar) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_CodePage(LONG lvar) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_LCID(LONG* plvar) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_LCID(LONG lvar) = 0;
};

struct IScriptingContext : IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get_Request(IRequest** ppRequest) = 0;
    // used: the page's Response object, fetched afresh for each use
    virtual HRESULT STDMETHODCALLTYPE get_Response(IResponse** ppResponse) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Server(IServer** ppServer) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Session(ISessionObject** ppSession) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Application(IApplicationObject** ppApplication) = 0;
};

// The page hooks without the dispatch part: the host calls them on any page object.
struct IPageHooks : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE OnStartPage(IUnknown* AScriptingContext) = 0;
    virtual HRESULT STDMETHODCALLTYPE OnEndPage() = 0;
};
