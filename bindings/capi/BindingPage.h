// The C API's page: the component loaded from beside this library, and one open page of the
// seam whose Response keeps the image in memory, set one property at a time and rendered as
// often as the caller likes.
#pragma once

#include "apps/page/BarcodePage.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace quillax::binding {

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
    // Loads the component beside this library once per process, then opens a page on a new
    // object. Raises Exception when the component cannot be loaded, EOleSysError when the
    // object cannot be made.
    TBindingPage();
    ~TBindingPage();
    TBindingPage(const TBindingPage&) = delete;
    TBindingPage& operator=(const TBindingPage&) = delete;

    // Sets the property name (any case) to the text value, as the command takes it. Raises as
    // host::TOpenPage::Set does.
    void Set(std::string_view name, std::string_view value);

    // Shows the image of the properties into memory. Raises EOleSysError when showing fails.
    TRenderedImage Render();

private:
    class TMemoryResponse;
    std::unique_ptr<TMemoryResponse> response_;
    std::unique_ptr<host::TOpenPage> page_;
};

} // namespace quillax::binding
