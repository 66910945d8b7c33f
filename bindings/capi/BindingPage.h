// A barcode page held open for a language binding: one object whose page has started, set
// one property at a time and rendered into memory as often as the caller likes. It reaches
// the component as the command does, through the host's calls in apps/.
#pragma once

#include "apps/ComponentHost.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace quillax::binding {

// The name is not that of a property that can be set.
class EUnknownProperty : public host::EUsageError {
public:
    using host::EUsageError::EUsageError;
};

// One render into memory: the step code (0 clean, else the image carries that step's error
// text) with the object's message, and the image the page's Response was given.
struct TRenderedImage {
    LONG Step = 0;
    std::string Message;
    std::string ContentType;
    std::vector<unsigned char> Bytes;
};

class TBindingPage {
public:
    // Loads the component beside this library once per process, then makes a new object
    // and starts its page. Raises Exception when the component cannot be loaded,
    // EOleSysError when the object cannot be made.
    TBindingPage();
    // Ends the page; a failure to end it is not reported.
    ~TBindingPage();
    TBindingPage(const TBindingPage&) = delete;
    TBindingPage& operator=(const TBindingPage&) = delete;

    // Sets the property name (any case) to the text value, as the command takes it.
    // Raises EUnknownProperty for a name that cannot be set, host::EUsageError for a value
    // that does not convert, EOleSysError when the object refuses.
    void Set(std::string_view name, std::string_view value);

    // Shows the image of the properties into memory. Raises EOleSysError when showing fails.
    TRenderedImage Render();

private:
    class TMemoryResponse;
    std::unique_ptr<TMemoryResponse> response_;
    ComPtr<IScriptingContext> context_;
    ComPtr<IDispatch> object_;
};

} // namespace quillax::binding
