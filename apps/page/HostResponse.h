// The host's side of a page: a scripting context whose Response object reports each call to
// a sink, as the web server's own objects would take them.
#pragma once

#include "hosting/ASPTlb.h"
#include "platform/OleAuto.h"

#include <span>
#include <string>

namespace quillax::host {

// What a page's Response object is told, in call order. A failed status returned here is
// what the Response call returns to the component.
class TResponseSink {
public:
    virtual ~TResponseSink() = default;
    virtual HRESULT Expires(LONG minutes) = 0;
    virtual HRESULT AddHeader(const std::string& name, const std::string& value) = 0;
    virtual HRESULT ContentType(const std::string& type) = 0;
    virtual HRESULT BinaryWrite(std::span<const BYTE> bytes) = 0;
    virtual HRESULT Flush() = 0;
};

// A page's scripting context whose Response reports to sink; sink must outlive the page.
ComPtr<IScriptingContext> MakeScriptingContext(TResponseSink& sink);

} // namespace quillax::host
