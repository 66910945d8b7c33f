// The web host's barcode page: what a page made of its Response object, and the page that
// runs the component for one request's properties.
#pragma once

#include "apps/WebRequest.h"

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

// Runs one page with the given properties. Called on the host's threads, several at once.
// Throws PageUsageError for a request that is itself wrong, anything else for a failure.
using PageFunction = std::function<PageReply(const std::vector<PageParameter>&)>;

// The component's barcode page: a new object per call, page start, each parameter set as a
// property in order (ImageTypeStr only one of the accepted format names), then ShowBarcode,
// its Response calls and the render's outcome recorded. The library must outlive the
// function.
PageFunction ComponentPage(const host::TComponentLibrary& component);

} // namespace quillax::web
