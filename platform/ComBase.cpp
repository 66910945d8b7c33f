// GUID parsing, the platform's GUID text calls and task memory.
#include "platform/ComBase.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

int HexValue(OLECHAR c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

// Strict braced 8-4-4-4-12 form followed by the terminator.
bool ParseGuid(LPCOLESTR text, GUID* out) {
    if (!text || text[0] != u'{') return false;
    BYTE bytes[16];
    int pos = 1;
    for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) {
            if (text[pos++] != u'-') return false;
        }
        const int hi = HexValue(text[pos]);
        if (hi < 0) return false;
        const int lo = HexValue(text[pos + 1]);
        if (lo < 0) return false;
        bytes[i] = static_cast<BYTE>(hi * 16 + lo);
        pos += 2;
    }
    if (text[pos] != u'}' || text[pos + 1] != 0) return false;
    out->Data1 =
        (DWORD(bytes[0]) << 24) | (DWORD(bytes[1]) << 16) | (DWORD(bytes[2]) << 8) | bytes[3];
    out->Data2 = static_cast<WORD>((bytes[4] << 8) | bytes[5]);
    out->Data3 = static_cast<WORD>((bytes[6] << 8) | bytes[7]);
    std::memcpy(out->Data4, bytes + 8, 8);
    return true;
}

} // namespace

HRESULT CLSIDFromString(LPCOLESTR lpsz, LPCLSID pclsid) {
    if (!pclsid) return E_INVALIDARG;
    if (!lpsz || !lpsz[0]) {
        *pclsid = CLSID_NULL;
        return NOERROR;
    }
    return ParseGuid(lpsz, pclsid) ? NOERROR : CO_E_CLASSSTRING;
}

HRESULT IIDFromString(LPCOLESTR lpsz, LPIID lpiid) {
    if (!lpiid) return E_INVALIDARG;
    if (!lpsz) {
        *lpiid = IID_NULL;
        return S_OK;
    }
    return ParseGuid(lpsz, lpiid) ? S_OK : E_INVALIDARG;
}

int StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax) {
    if (!lpsz || cchMax < 39) return 0;
    const quillax::OleString text = quillax::GuidToWide(rguid);
    std::copy(text.begin(), text.end(), lpsz);
    lpsz[38] = 0;
    return 39;
}

HRESULT StringFromCLSID(REFCLSID rclsid, LPOLESTR* lplpsz) {
    if (!lplpsz) return E_INVALIDARG;
    *lplpsz = static_cast<LPOLESTR>(CoTaskMemAlloc(39 * sizeof(OLECHAR)));
    if (!*lplpsz) return E_OUTOFMEMORY;
    StringFromGUID2(rclsid, *lplpsz, 39);
    return S_OK;
}

HRESULT StringFromIID(REFIID rclsid, LPOLESTR* lplpsz) {
    return StringFromCLSID(rclsid, lplpsz);
}

LPVOID CoTaskMemAlloc(std::size_t cb) {
    return std::malloc(cb ? cb : 1);
}

void CoTaskMemFree(LPVOID pv) {
    std::free(pv);
}
