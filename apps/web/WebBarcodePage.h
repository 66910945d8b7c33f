// The web host's barcode page: what a page made of its Response object, and the page that
// runs the component for one request's properties.
#pragma once

#include "apps/web/WebRequest.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace quillax::host {
class TComponentLibrary;
}

namespace quillax::web {

// What a page made of its Response object, in HTTP terms.
struct PageReply {
    std::optional<int32_t> expiresMinutes;                    // Response.Expires, when set
    std::vector<std::pair<std::string, std::string>> headers; // Response.AddHeader calls
    std::string contentType;                                  // Response.ContentType
    std::string body;                                         // every BinaryWrite, in order
    // The object's LastResult and LastError after the page: an image that carries an error
    // has a step code other than 0.
    int32_t lastResult = 0;
    std::string lastError;
};

// Runs one page with the given properties. Called on the host's render threads, several at
// once. Throws PageUsageError for a request that is itself wrong, anything else for a failure.
using PageFunction = std::function<PageReply(const std::vector<PageParameter>&)>;

// What the web host runs for /barcode: the page, and what a render of given parameters may
// cost before it runs.
struct PageSource {
    PageSource(PageFunction page = {}) : run(std::move(page)) {}

    PageFunction run;
    // The most bytes of memory a render of the parameters may take; none: nothing to count.
    // Called on the network threads: cheap, and renders nothing.
    std::function<std::size_t(const std::vector<PageParameter>&)> cost;
    // The error image of parameters whose render could never fit the host's memory for
    // renders, with the reason; none: the request gets 503.
    std::function<PageReply(const std::vector<PageParameter>&, const std::string& why)> tooLarge;
};

// The component's barcode page: a new object per call, page start, each parameter set as a
// property in order (ImageTypeStr only one of the accepted format names), then ShowBarcode,
// its Response calls and the render's outcome recorded. The library must outlive the
// function.
PageFunction ComponentPage(const host::TComponentLibrary& component);
// The same page with its cost, the bound of the image's pixels in the three copies a render
// holds (surface, encoded image, answer), and the component's error image for a page too
// large for the host.
PageSource ComponentPageSource(const host::TComponentLibrary& component);

} // namespace quillax::web
