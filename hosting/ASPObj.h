// TASPObject: an automation object that lives in a web page. The host hands it the page's
// scripting context through the page hooks; the object keeps the context for the page and
// fetches the Response object from it afresh for each use.
#pragma once

#include "hosting/ASPTlb.h"
#include "hosting/ComObj.h"

namespace quillax {

// The page part of a page object: the kept scripting context and the page-hook interface,
// which runs only this part of the hooks.
class TASPPage {
public:
    explicit TASPPage(TComObject& owner) : hooks_(owner, *this) {}
    TASPPage(const TASPPage&) = delete;
    TASPPage& operator=(const TASPPage&) = delete;

    // Keeps context's IScriptingContext, replacing any context held; a null context leaves
    // none. Raises "Interface not supported" when context does not offer it.
    void StartPage(IUnknown* context);
    void EndPage();
    // The page's Response object, fetched from the context. Raises when no page is active;
    // a failed fetch raises with the host's status.
    ComPtr<IResponse> Response() const;
    IScriptingContext* ScriptingContext() const { return scriptingContext_.Get(); }
    IPageHooks* Hooks() { return &hooks_; }

private:
    struct THooks final : IPageHooks {
        THooks(TComObject& owner, TASPPage& page) : owner_(owner), page_(page) {}
        HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
            return owner_.OuterQueryInterface(riid, ppv);
        }
        ULONG STDMETHODCALLTYPE AddRef() override { return owner_.OuterAddRef(); }
        ULONG STDMETHODCALLTYPE Release() override { return owner_.OuterRelease(); }
        HRESULT STDMETHODCALLTYPE OnStartPage(IUnknown* AScriptingContext) override;
        HRESULT STDMETHODCALLTYPE OnEndPage() override;
        TComObject& owner_;
        TASPPage& page_;
    };

    ComPtr<IScriptingContext> scriptingContext_;
    THooks hooks_;
};

// A page object with the dual interface Dual. Dual's own OnStartPage and OnEndPage call
// StartPage and EndPage (after whatever the class does first).
template <class Dual>
class TASPObject : public TAutoObject<Dual> {
protected:
    TASPObject() = default;

    void StartPage(IUnknown* context) { page_.StartPage(context); }
    void EndPage() { page_.EndPage(); }
    ComPtr<IResponse> Response() const { return page_.Response(); }
    IScriptingContext* ScriptingContext() const { return page_.ScriptingContext(); }

    IUnknown* GetInterface(REFIID iid) override {
        if (iid == IID_IPageHooks) return page_.Hooks();
        return TAutoObject<Dual>::GetInterface(iid);
    }

private:
    TASPPage page_{*this};
};

} // namespace quillax
