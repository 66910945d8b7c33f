// Helpers shared by the platform tests.
#pragma once

#include "platform/OleAuto.h"
#include "tests/StatusText.h"

#include <string>

namespace quillax::test {

// A variant that clears itself.
struct Var : VARIANT {
    Var() { VariantInit(this); }
    ~Var() { VariantClear(this); }
    Var(const Var&) = delete;
    Var& operator=(const Var&) = delete;
};

inline void SetBstr(VARIANT* v, const char16_t* text) {
    v->vt = VT_BSTR;
    v->bstrVal = SysAllocString(text);
}

inline std::u16string Text(BSTR s) {
    return s ? std::u16string(s, SysStringLen(s)) : u"";
}

} // namespace quillax::test
