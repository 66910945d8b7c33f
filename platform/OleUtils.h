// The component's own helpers over the automation names, the same on every platform: the
// failed-status check that raises, and an owned BSTR. The names they build on come from
// platform/OleAuto.h, which includes this file: include that one.
#pragma once

#include <string>

namespace quillax {

// The system's message text for a status ("Catastrophic failure" for E_UNEXPECTED), without
// trailing full stop; empty when the status has none.
std::string SysErrorMessage(HRESULT hr);

// Raises EOleSysError for a failed status: its message is the description of the thread's
// error record (consumed), else the system's message text, else "OLE error %.8x".
void OleCheck(HRESULT hr);

// An owned BSTR (SysFreeString on destruction).
class BStr {
public:
    BStr() noexcept = default;
    explicit BStr(const OLECHAR* text); // std::bad_alloc when memory runs out
    BStr(const BStr&) = delete;
    BStr& operator=(const BStr&) = delete;
    BStr(BStr&& other) noexcept : s_(other.Detach()) {}
    BStr& operator=(BStr&& other) noexcept {
        Attach(other.Detach());
        return *this;
    }
    ~BStr() { SysFreeString(s_); }

    BSTR Get() const noexcept { return s_; }
    UINT Length() const noexcept { return SysStringLen(s_); }
    BSTR* ReleaseAndGetAddressOf() noexcept {
        Attach(nullptr);
        return &s_;
    }
    void Attach(BSTR s) noexcept {
        if (s != s_) SysFreeString(s_);
        s_ = s;
    }
    [[nodiscard]] BSTR Detach() noexcept {
        BSTR s = s_;
        s_ = nullptr;
        return s;
    }
    OleStringView View() const noexcept { return {s_ ? s_ : OLESTR(""), Length()}; }

private:
    BSTR s_ = nullptr;
};

} // namespace quillax
