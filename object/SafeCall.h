// The boundary rule of every automation member: whatever a member's body raises becomes a
// failure status; nothing escapes to the caller.
#pragma once

#include "platform/ComBase.h"

namespace quillax {

// Runs a member body that returns its own status; an exception becomes E_UNEXPECTED.
template <class Body>
HRESULT SafeCall(Body&& body) noexcept {
    try {
        return body();
    } catch (...) {
        return E_UNEXPECTED;
    }
}

} // namespace quillax
