// The component's own helpers over the object model's names, the same on every platform:
// GUID literals parsed at compile time and their text form, 16-bit strings of OLECHAR, and
// ComPtr. The names they build on (GUID, OLECHAR, HRESULT, IUnknown) come from
// platform/ComBase.h, which includes this file: include that one.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>

namespace quillax {

// Text in 16-bit characters, as BSTRs and the interfaces carry it.
using OleString = std::basic_string<OLECHAR>;
using OleStringView = std::basic_string_view<OLECHAR>;

namespace detail {
constexpr int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}
} // namespace detail

// Parses "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" (braces optional) at compile time; a
// malformed literal is a compile-time error when used in a constant expression.
consteval GUID MakeGuid(std::string_view text) {
    if (text.size() == 38 && text.front() == '{' && text.back() == '}') text = text.substr(1, 36);
    if (text.size() != 36) throw "GUID literal must have the 8-4-4-4-12 form";
    unsigned char bytes[16] = {};
    std::size_t pos = 0;
    for (int i = 0; i < 16; ++i) {
        if (pos == 8 || pos == 13 || pos == 18 || pos == 23) {
            if (text[pos] != '-') throw "GUID literal: '-' expected";
            ++pos;
        }
        const int hi = detail::HexDigit(text[pos]);
        const int lo = detail::HexDigit(text[pos + 1]);
        if (hi < 0 || lo < 0) throw "GUID literal: hexadecimal digit expected";
        bytes[i] = static_cast<unsigned char>(hi * 16 + lo);
        pos += 2;
    }
    GUID g{};
    g.Data1 = (DWORD(bytes[0]) << 24) | (DWORD(bytes[1]) << 16) | (DWORD(bytes[2]) << 8) | bytes[3];
    g.Data2 = static_cast<WORD>((bytes[4] << 8) | bytes[5]);
    g.Data3 = static_cast<WORD>((bytes[6] << 8) | bytes[7]);
    for (int i = 0; i < 8; ++i)
        g.Data4[i] = bytes[8 + i];
    return g;
}

// "{6A358604-6623-4CD5-A879-3DF0EABE5F83}": upper case, braced, 8-4-4-4-12.
std::string GuidToString(REFGUID guid);
OleString GuidToWide(REFGUID guid);

} // namespace quillax

// ComPtr: a counted reference to an interface (AddRef on copy, Release on reset/destruction).

namespace quillax {

template <class T>
class ComPtr {
public:
    ComPtr() noexcept = default;
    ComPtr(std::nullptr_t) noexcept {}
    // Takes a new reference to p (AddRef); use Attach to adopt an existing one.
    ComPtr(T* p) noexcept : p_(p) {
        if (p_) p_->AddRef();
    }
    ComPtr(const ComPtr& other) noexcept : ComPtr(other.p_) {}
    ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    ~ComPtr() { Reset(); }

    ComPtr& operator=(const ComPtr& other) noexcept {
        ComPtr(other).Swap(*this);
        return *this;
    }
    ComPtr& operator=(ComPtr&& other) noexcept {
        ComPtr(std::move(other)).Swap(*this);
        return *this;
    }
    ComPtr& operator=(T* p) noexcept {
        ComPtr(p).Swap(*this);
        return *this;
    }
    ComPtr& operator=(std::nullptr_t) noexcept {
        Reset();
        return *this;
    }

    T* Get() const noexcept { return p_; }
    T* operator->() const noexcept { return p_; }
    T& operator*() const noexcept { return *p_; }
    explicit operator bool() const noexcept { return p_ != nullptr; }

    // Releases the held reference and returns the address for an output parameter.
    T** ReleaseAndGetAddressOf() noexcept {
        Reset();
        return &p_;
    }
    T** GetAddressOf() noexcept { return &p_; }
    // Adopts a reference the caller already owns (no AddRef).
    void Attach(T* p) noexcept {
        Reset();
        p_ = p;
    }
    // Gives up ownership without Release.
    [[nodiscard]] T* Detach() noexcept { return std::exchange(p_, nullptr); }
    void Reset() noexcept {
        if (T* p = std::exchange(p_, nullptr)) p->Release();
    }
    void Swap(ComPtr& other) noexcept { std::swap(p_, other.p_); }

    // Asks the held object for another interface; `out` is emptied first.
    template <class U>
    HRESULT As(REFIID iid, ComPtr<U>* out) const noexcept {
        out->Reset();
        if (!p_) return E_POINTER;
        return p_->QueryInterface(iid, reinterpret_cast<void**>(out->GetAddressOf()));
    }
    // Returns a new reference in *pp (AddRef), for handing out through an output parameter.
    HRESULT CopyTo(T** pp) const noexcept {
        if (!pp) return E_POINTER;
        *pp = p_;
        if (p_) p_->AddRef();
        return S_OK;
    }

private:
    T* p_ = nullptr;
};

template <class T, class U>
bool operator==(const ComPtr<T>& a, const ComPtr<U>& b) {
    return a.Get() == b.Get();
}
template <class T>
bool operator==(const ComPtr<T>& a, std::nullptr_t) {
    return a.Get() == nullptr;
}

} // namespace quillax
