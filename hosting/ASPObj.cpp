// The page part of page objects: keeping and releasing the scripting context, fetching the
// Response object, and the page-hook interface.
#include "hosting/ASPObj.h"

namespace quillax {

void TASPPage::StartPage(IUnknown* context) {
    ComPtr<IScriptingContext> kept;
    if (context != nullptr &&
        FAILED(context->QueryInterface(IID_IScriptingContext,
                                       reinterpret_cast<void**>(kept.GetAddressOf()))))
        throw Exception("Interface not supported");
    scriptingContext_ = std::move(kept);
}

void TASPPage::EndPage() {
    scriptingContext_ = nullptr;
}

ComPtr<IResponse> TASPPage::Response() const {
    if (!scriptingContext_) throw Exception("No page is active: the Response object is missing");
    ComPtr<IResponse> response;
    OleCheck(scriptingContext_->get_Response(response.GetAddressOf()));
    if (!response) throw Exception("The page has no Response object");
    return response;
}

HRESULT TASPPage::THooks::OnStartPage(IUnknown* AScriptingContext) {
    return owner_.SafeCall([&] { page_.StartPage(AScriptingContext); });
}

HRESULT TASPPage::THooks::OnEndPage() {
    return owner_.SafeCall([&] { page_.EndPage(); });
}

} // namespace quillax
