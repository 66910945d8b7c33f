// The type library of the component: the library Kemrin_Quillax, its dual interfaces IQuillax
// (the classic one, frozen) and IQuillax2 (derived from it, the class's default), and its
// creatable class Quillax. Where the library comes from is the platform's: a compiled
// type library in the component's own file (described by Kemrin_Quillax.idl beside this
// file), or the member table of Kemrin_Quillax_TLBTable.h. A test keeps the two equal.
#pragma once

#include "platform/OleAuto.h"

// Identifiers of the library, the interface and the class.
inline constexpr GUID LIBID_Kemrin_Quillax =
    quillax::MakeGuid("{651DA609-F03C-46AC-BA79-9A7E47FD512E}");
inline constexpr IID IID_IQuillax = quillax::MakeGuid("{F4DB5FB9-5221-48D4-9B6D-C54CC9CE715F}");
inline constexpr IID IID_IQuillax2 = quillax::MakeGuid("{2AFD396E-040C-4E3B-9882-F6A33A8D50DF}");
inline constexpr CLSID CLSID_Quillax = quillax::MakeGuid("{6A358604-6623-4CD5-A879-3DF0EABE5F83}");

inline constexpr WORD Kemrin_QuillaxMajorVersion = 1;
inline constexpr WORD Kemrin_QuillaxMinorVersion = 0;

// Dispatch identifiers of IQuillax: not consecutive and not in function-table order.
enum TQuillaxDispId : DISPID {
    DISPID_OnStartPage = 201,
    DISPID_OnEndPage = 202,
    DISPID_ShowBarcode = 203,
    DISPID_ImageTypeStr = 204,
    DISPID_BarcodeType = 205,
    DISPID_Orientation = 206,
    DISPID_Data = 208,
    DISPID_Checksum = 209,
    DISPID_NarrowBarWidth = 210,
    DISPID_ShowText = 211,
    DISPID_Height = 213,
    DISPID_BGColor = 214,
    DISPID_Ratio = 215,
    DISPID_ImageType = 216,
    DISPID_BarColor = 217,
    DISPID_ChecksumMethod = 218,
    DISPID_SaveBarcode = 219,
};

// Dispatch identifiers of IQuillax2's own members: from 220 upwards, in function-table order.
enum TQuillax2DispId : DISPID {
    DISPID_LastResult = 220,
    DISPID_LastError = 221,
    DISPID_Layout = 222,
    DISPID_QuietZone = 223,
    DISPID_Resolution = 224,
    DISPID_XDimension = 225,
    DISPID_ActualXDimension = 226,
};

// IQuillax: dispatch interface for Quillax Object (dual). Each property takes two slots,
// getter first; the order of the members is the function table's.
struct IQuillax : IDispatch {
    virtual HRESULT STDMETHODCALLTYPE OnStartPage(IUnknown* AScriptingContext) = 0;
    virtual HRESULT STDMETHODCALLTYPE OnEndPage() = 0;
    virtual HRESULT STDMETHODCALLTYPE ShowBarcode() = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ImageTypeStr(BSTR* Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_ImageTypeStr(BSTR Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_BarcodeType(LONG* Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_BarcodeType(LONG Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Orientation(INT* Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Orientation(INT Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Data(BSTR* Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Data(BSTR Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Checksum(VARIANT_BOOL* Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Checksum(VARIANT_BOOL Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_NarrowBarWidth(LONG* Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_NarrowBarWidth(LONG Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ShowText(VARIANT_BOOL* Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_ShowText(VARIANT_BOOL Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Height(LONG* Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Height(LONG Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Ratio(LONG* Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Ratio(LONG Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ImageType(LONG* Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_ImageType(LONG Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_BGColor(LONG* Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_BGColor(LONG Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_BarColor(LONG* Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_BarColor(LONG Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ChecksumMethod(LONG* Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_ChecksumMethod(LONG Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE SaveBarcode(BSTR FileName, LONG* Result) = 0;
};

// IQuillax2: IQuillax and what came after it; its own slots follow IQuillax's. New members
// are added at the end.
struct IQuillax2 : IQuillax {
    // The step code of the object's last ShowBarcode or SaveBarcode (0 when it was clean,
    // 5 when SaveBarcode wrote no file) and that step's message (empty when clean).
    virtual HRESULT STDMETHODCALLTYPE get_LastResult(LONG* Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_LastError(BSTR* Value) = 0;
    // 0 classic, 1 standard (quiet zones, the symbology's human-readable line).
    virtual HRESULT STDMETHODCALLTYPE get_Layout(LONG* Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Layout(LONG Value) = 0;
    // The standard layout's quiet zones in modules; -1 the symbology's own.
    virtual HRESULT STDMETHODCALLTYPE get_QuietZone(LONG* Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_QuietZone(LONG Value) = 0;
    // Dots per inch recorded in the image; 0 none.
    virtual HRESULT STDMETHODCALLTYPE get_Resolution(LONG* Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Resolution(LONG Value) = 0;
    // The narrow bar in millimetres, used with a Resolution; 0 none.
    virtual HRESULT STDMETHODCALLTYPE get_XDimension(DOUBLE* Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_XDimension(DOUBLE Value) = 0;
    // The narrow bar in millimetres that the image has at its Resolution (read-only).
    virtual HRESULT STDMETHODCALLTYPE get_ActualXDimension(DOUBLE* Value) = 0;
};

namespace quillax {

// The library object, loaded once by the server and shared (read-only) by every object.
HRESULT LoadKemrin_QuillaxTypeLib(ITypeLib** pptlib);

} // namespace quillax
