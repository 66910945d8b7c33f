// BSTR allocation: a 32-bit byte length, the characters, then a zero character.
#include "platform/OleAuto.h"

#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

namespace {

using Prefix = std::uint32_t;

// Largest byte length whose block (prefix + bytes + terminator) still fits 32 bits.
constexpr std::size_t kMaxBytes = std::numeric_limits<Prefix>::max() - sizeof(Prefix) - 2;

Prefix* PrefixOf(BSTR s) {
    return reinterpret_cast<Prefix*>(s) - 1;
}

// A block for byteLength bytes of text, uninitialised, with prefix and terminator set.
BSTR AllocateBytes(std::size_t byteLength) {
    if (byteLength > kMaxBytes) return nullptr;
    // Room for an odd byte length plus a whole zero character.
    void* block = std::malloc(sizeof(Prefix) + byteLength + sizeof(OLECHAR) + 1);
    if (!block) return nullptr;
    auto* prefix = static_cast<Prefix*>(block);
    *prefix = static_cast<Prefix>(byteLength);
    auto* bytes = reinterpret_cast<unsigned char*>(prefix + 1);
    std::memset(bytes + byteLength, 0, sizeof(OLECHAR) + 1);
    return reinterpret_cast<BSTR>(bytes);
}

std::size_t WideLength(const OLECHAR* s) {
    std::size_t n = 0;
    while (s[n])
        ++n;
    return n;
}

} // namespace

BSTR SysAllocString(const OLECHAR* psz) {
    if (!psz) return nullptr;
    const std::size_t len = WideLength(psz);
    if (len > std::numeric_limits<UINT>::max()) return nullptr;
    return SysAllocStringLen(psz, static_cast<UINT>(len));
}

BSTR SysAllocStringLen(const OLECHAR* pch, UINT len) {
    const std::size_t bytes = std::size_t{len} * sizeof(OLECHAR);
    BSTR s = AllocateBytes(bytes);
    if (!s) return nullptr;
    if (pch)
        std::memcpy(s, pch, bytes);
    else
        std::memset(s, 0, bytes);
    return s;
}

BSTR SysAllocStringByteLen(LPCSTR psz, UINT len) {
    BSTR s = AllocateBytes(len);
    if (!s) return nullptr;
    if (psz)
        std::memcpy(s, psz, len);
    else
        std::memset(s, 0, len);
    return s;
}

void SysFreeString(BSTR bstrString) {
    if (bstrString) std::free(PrefixOf(bstrString));
}

UINT SysStringByteLen(BSTR bstr) {
    return bstr ? *PrefixOf(bstr) : 0;
}

UINT SysStringLen(BSTR pbstr) {
    return SysStringByteLen(pbstr) / sizeof(OLECHAR);
}

BOOL SysReAllocString(BSTR* pbstr, const OLECHAR* psz) {
    if (!pbstr) return FALSE;
    BSTR copy = SysAllocString(psz);
    if (psz && !copy) return FALSE;
    SysFreeString(*pbstr);
    *pbstr = copy;
    return TRUE;
}
