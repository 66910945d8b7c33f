// The component object model's base vocabulary: the fixed-width platform types, status
// codes (HRESULT), GUIDs, the IUnknown family of interfaces and ComPtr.
//
// Everything outside namespace quillax carries the platform's own name, type and signature,
// so that component code reads (and builds) the same against the platform's headers.
// Interfaces keep the binary shape of the object model: abstract structs of pure virtual
// functions, no virtual destructor, the function table as the object's first word.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

// ---------------------------------------------------------------------------------------
// Fixed-width platform types (LONG is 32 bits, as on the platform, whatever `long` is here)

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using CHAR = char;
using SHORT = std::int16_t;
using USHORT = std::uint16_t;
using INT = std::int32_t;
using UINT = std::uint32_t;
using LONG = std::int32_t;
using ULONG = std::uint32_t;
using LONGLONG = std::int64_t;
using ULONGLONG = std::uint64_t;
using ULONG_PTR = std::uintptr_t;
using LONG_PTR = std::intptr_t;
using BOOL = std::int32_t;
using FLOAT = float;
using DOUBLE = double;
using PVOID = void*;
using LPVOID = void*;
using LPCVOID = const void*;
using LPBYTE = BYTE*;
using LPDWORD = DWORD*;
using LCID = DWORD;
using SCODE = LONG;
using HRESULT = LONG;
using LPSTR = char*;
using LPCSTR = const char*;

// Wide characters are 16-bit code units; `wchar_t` (32 bits here) is never used for them.
using WCHAR = char16_t;
using LPWSTR = WCHAR*;
using LPCWSTR = const WCHAR*;
using OLECHAR = char16_t;
using LPOLESTR = OLECHAR*;
using LPCOLESTR = const OLECHAR*;
#define OLESTR(str) u##str

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

// Calling convention of interface members: the default one on this platform.
#define STDMETHODCALLTYPE
#define STDAPICALLTYPE
#define STDAPI extern "C" HRESULT STDAPICALLTYPE

inline constexpr LCID LOCALE_NEUTRAL = 0x0000;
inline constexpr LCID LOCALE_USER_DEFAULT = 0x0400;
inline constexpr LCID LOCALE_SYSTEM_DEFAULT = 0x0800;

// ---------------------------------------------------------------------------------------
// Status codes

inline constexpr bool SUCCEEDED(HRESULT hr) {
    return hr >= 0;
}
inline constexpr bool FAILED(HRESULT hr) {
    return hr < 0;
}
inline constexpr SCODE SCODE_CODE(HRESULT hr) {
    return hr & 0xFFFF;
}
inline constexpr SCODE HRESULT_FACILITY(HRESULT hr) {
    return (hr >> 16) & 0x1FFF;
}
inline constexpr HRESULT MAKE_HRESULT(ULONG severity, ULONG facility, ULONG code) {
    return static_cast<HRESULT>((severity << 31) | (facility << 16) | code);
}
inline constexpr HRESULT HRESULT_FROM_WIN32(LONG error) {
    return error <= 0 ? error
                      : static_cast<HRESULT>((static_cast<ULONG>(error) & 0xFFFF) | (7u << 16) |
                                             0x80000000u);
}

#define QUILLAX_HRESULT(value) static_cast<HRESULT>(static_cast<ULONG>(value))
inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT NOERROR = 0;
inline constexpr HRESULT E_NOTIMPL = QUILLAX_HRESULT(0x80004001);
inline constexpr HRESULT E_NOINTERFACE = QUILLAX_HRESULT(0x80004002);
inline constexpr HRESULT E_POINTER = QUILLAX_HRESULT(0x80004003);
inline constexpr HRESULT E_ABORT = QUILLAX_HRESULT(0x80004004);
inline constexpr HRESULT E_FAIL = QUILLAX_HRESULT(0x80004005);
inline constexpr HRESULT E_UNEXPECTED = QUILLAX_HRESULT(0x8000FFFF);
inline constexpr HRESULT E_ACCESSDENIED = QUILLAX_HRESULT(0x80070005);
inline constexpr HRESULT E_HANDLE = QUILLAX_HRESULT(0x80070006);
inline constexpr HRESULT E_OUTOFMEMORY = QUILLAX_HRESULT(0x8007000E);
inline constexpr HRESULT E_INVALIDARG = QUILLAX_HRESULT(0x80070057);
inline constexpr HRESULT CLASS_E_NOAGGREGATION = QUILLAX_HRESULT(0x80040110);
inline constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = QUILLAX_HRESULT(0x80040111);
inline constexpr HRESULT REGDB_E_READREGDB = QUILLAX_HRESULT(0x80040150);
inline constexpr HRESULT REGDB_E_WRITEREGDB = QUILLAX_HRESULT(0x80040151);
inline constexpr HRESULT REGDB_E_CLASSNOTREG = QUILLAX_HRESULT(0x80040154);
inline constexpr HRESULT CO_E_CLASSSTRING = QUILLAX_HRESULT(0x800401F3);
inline constexpr HRESULT CO_E_DLLNOTFOUND = QUILLAX_HRESULT(0x800401F8);
inline constexpr HRESULT CO_E_ERRORINDLL = QUILLAX_HRESULT(0x800401F9);
inline constexpr HRESULT DISP_E_UNKNOWNINTERFACE = QUILLAX_HRESULT(0x80020001);
inline constexpr HRESULT DISP_E_MEMBERNOTFOUND = QUILLAX_HRESULT(0x80020003);
inline constexpr HRESULT DISP_E_PARAMNOTFOUND = QUILLAX_HRESULT(0x80020004);
inline constexpr HRESULT DISP_E_TYPEMISMATCH = QUILLAX_HRESULT(0x80020005);
inline constexpr HRESULT DISP_E_UNKNOWNNAME = QUILLAX_HRESULT(0x80020006);
inline constexpr HRESULT DISP_E_NONAMEDARGS = QUILLAX_HRESULT(0x80020007);
inline constexpr HRESULT DISP_E_BADVARTYPE = QUILLAX_HRESULT(0x80020008);
inline constexpr HRESULT DISP_E_EXCEPTION = QUILLAX_HRESULT(0x80020009);
inline constexpr HRESULT DISP_E_OVERFLOW = QUILLAX_HRESULT(0x8002000A);
inline constexpr HRESULT DISP_E_BADINDEX = QUILLAX_HRESULT(0x8002000B);
inline constexpr HRESULT DISP_E_ARRAYISLOCKED = QUILLAX_HRESULT(0x8002000D);
inline constexpr HRESULT DISP_E_BADPARAMCOUNT = QUILLAX_HRESULT(0x8002000E);
inline constexpr HRESULT DISP_E_PARAMNOTOPTIONAL = QUILLAX_HRESULT(0x8002000F);
inline constexpr HRESULT TYPE_E_ELEMENTNOTFOUND = QUILLAX_HRESULT(0x8002802B);
inline constexpr HRESULT TYPE_E_REGISTRYACCESS = QUILLAX_HRESULT(0x8002801C);
inline constexpr HRESULT TYPE_E_LIBNOTREGISTERED = QUILLAX_HRESULT(0x8002801D);
#undef QUILLAX_HRESULT

// ---------------------------------------------------------------------------------------
// GUIDs

struct GUID {
    DWORD Data1;
    WORD Data2;
    WORD Data3;
    BYTE Data4[8];
};
using IID = GUID;
using CLSID = GUID;
using LPGUID = GUID*;
using LPIID = IID*;
using LPCLSID = CLSID*;
using REFGUID = const GUID&;
using REFIID = const IID&;
using REFCLSID = const CLSID&;

inline constexpr bool operator==(const GUID& a, const GUID& b) {
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
    for (int i = 0; i < 8; ++i)
        if (a.Data4[i] != b.Data4[i]) return false;
    return true;
}
inline constexpr BOOL IsEqualGUID(REFGUID a, REFGUID b) {
    return a == b ? TRUE : FALSE;
}
inline constexpr BOOL IsEqualIID(REFIID a, REFIID b) {
    return IsEqualGUID(a, b);
}
inline constexpr BOOL IsEqualCLSID(REFCLSID a, REFCLSID b) {
    return IsEqualGUID(a, b);
}

// The component's own helpers over these names (MakeGuid, GuidToString, ComPtr).
#include "platform/ComUtils.h"

inline constexpr GUID GUID_NULL = {};
inline constexpr IID IID_NULL = {};
inline constexpr CLSID CLSID_NULL = {};

// Parse braced GUID text: NOERROR, or CO_E_CLASSSTRING (CLSID) / E_INVALIDARG (IID).
HRESULT CLSIDFromString(LPCOLESTR lpsz, LPCLSID pclsid);
HRESULT IIDFromString(LPCOLESTR lpsz, LPIID lpiid);
// Writes the braced upper-case form; returns the characters written including the
// terminating zero, or 0 when cchMax is below 39.
int StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax);
// Allocates the braced form with CoTaskMemAlloc; the caller frees it with CoTaskMemFree.
HRESULT StringFromCLSID(REFCLSID rclsid, LPOLESTR* lplpsz);
HRESULT StringFromIID(REFIID rclsid, LPOLESTR* lplpsz);

// Task memory: the allocator for strings and blocks handed across interfaces.
LPVOID CoTaskMemAlloc(std::size_t cb);
void CoTaskMemFree(LPVOID pv);

// ---------------------------------------------------------------------------------------
// The IUnknown family

struct ITypeInfo;

inline constexpr IID IID_IUnknown = quillax::MakeGuid("{00000000-0000-0000-C000-000000000046}");
inline constexpr IID IID_IClassFactory =
    quillax::MakeGuid("{00000001-0000-0000-C000-000000000046}");
inline constexpr IID IID_ISupportErrorInfo =
    quillax::MakeGuid("{DF0B3D60-548F-101B-8E65-08002B2BD119}");
inline constexpr IID IID_IProvideClassInfo =
    quillax::MakeGuid("{B196B283-BAB4-101A-B69C-00AA00341D07}");

struct IUnknown {
    virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) = 0;
    virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE Release() = 0;
};
using LPUNKNOWN = IUnknown*;

struct IClassFactory : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid,
                                                     void** ppvObject) = 0;
    virtual HRESULT STDMETHODCALLTYPE LockServer(BOOL fLock) = 0;
};

struct ISupportErrorInfo : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) = 0;
};

struct IProvideClassInfo : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetClassInfo(ITypeInfo** ppTI) = 0;
};

// Signature of an in-process server's exported class-object entry point.
using LPFNGETCLASSOBJECT = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, LPVOID*);
using LPFNCANUNLOADNOW = HRESULT(STDAPICALLTYPE*)();
