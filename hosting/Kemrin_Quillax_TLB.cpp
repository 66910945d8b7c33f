// The type library of the component, as static data: the member tables of IQuillax and
// IQuillax2, the class Quillax and the library Kemrin_Quillax.
#include "hosting/Kemrin_Quillax_TLBTable.h"

#include <mutex>

namespace quillax {

namespace {

// The seven slots of IUnknown and IDispatch come first.
constexpr UINT FirstOwnSlot = 7;

// Parameter lists. A getter's one parameter is the output "Value"; a setter's is unnamed.
constexpr PARAMDATA OnStartPageParams[] = {{u"AScriptingContext", VT_UNKNOWN}};
constexpr PARAMDATA GetBstrParams[] = {{u"Value", VT_BSTR | VT_BYREF}};
constexpr PARAMDATA PutBstrParams[] = {{u"", VT_BSTR}};
constexpr PARAMDATA GetLongParams[] = {{u"Value", VT_I4 | VT_BYREF}};
constexpr PARAMDATA PutLongParams[] = {{u"", VT_I4}};
constexpr PARAMDATA GetIntParams[] = {{u"Value", VT_INT | VT_BYREF}};
constexpr PARAMDATA PutIntParams[] = {{u"", VT_INT}};
constexpr PARAMDATA GetBoolParams[] = {{u"Value", VT_BOOL | VT_BYREF}};
constexpr PARAMDATA PutBoolParams[] = {{u"", VT_BOOL}};
constexpr PARAMDATA GetDoubleParams[] = {{u"Value", VT_R8 | VT_BYREF}};
constexpr PARAMDATA PutDoubleParams[] = {{u"", VT_R8}};
constexpr PARAMDATA SaveBarcodeParams[] = {{u"FileName", VT_BSTR}, {u"Result", VT_I4 | VT_BYREF}};

constexpr METHODDATA Method(const OLECHAR* name, const PARAMDATA* params, UINT count, DISPID dispid,
                            UINT slot) {
    return {name,       params, dispid,          FirstOwnSlot + slot,
            CC_STDCALL, count,  DISPATCH_METHOD, VT_HRESULT};
}
constexpr METHODDATA Get(const OLECHAR* name, const PARAMDATA* params, DISPID dispid, UINT slot) {
    return {name,      params, dispid, FirstOwnSlot + slot, CC_STDCALL, 1, DISPATCH_PROPERTYGET,
            VT_HRESULT};
}
constexpr METHODDATA Put(const OLECHAR* name, const PARAMDATA* params, DISPID dispid, UINT slot) {
    return {name,      params, dispid, FirstOwnSlot + slot, CC_STDCALL, 1, DISPATCH_PROPERTYPUT,
            VT_HRESULT};
}

// IQuillax in function-table order; each property is its getter, then its setter.
constexpr METHODDATA QuillaxMembers[] = {
    Method(u"OnStartPage", OnStartPageParams, 1, DISPID_OnStartPage, 0),
    Method(u"OnEndPage", nullptr, 0, DISPID_OnEndPage, 1),
    Method(u"ShowBarcode", nullptr, 0, DISPID_ShowBarcode, 2),
    Get(u"ImageTypeStr", GetBstrParams, DISPID_ImageTypeStr, 3),
    Put(u"ImageTypeStr", PutBstrParams, DISPID_ImageTypeStr, 4),
    Get(u"BarcodeType", GetLongParams, DISPID_BarcodeType, 5),
    Put(u"BarcodeType", PutLongParams, DISPID_BarcodeType, 6),
    Get(u"Orientation", GetIntParams, DISPID_Orientation, 7),
    Put(u"Orientation", PutIntParams, DISPID_Orientation, 8),
    Get(u"Data", GetBstrParams, DISPID_Data, 9),
    Put(u"Data", PutBstrParams, DISPID_Data, 10),
    Get(u"Checksum", GetBoolParams, DISPID_Checksum, 11),
    Put(u"Checksum", PutBoolParams, DISPID_Checksum, 12),
    Get(u"NarrowBarWidth", GetLongParams, DISPID_NarrowBarWidth, 13),
    Put(u"NarrowBarWidth", PutLongParams, DISPID_NarrowBarWidth, 14),
    Get(u"ShowText", GetBoolParams, DISPID_ShowText, 15),
    Put(u"ShowText", PutBoolParams, DISPID_ShowText, 16),
    Get(u"Height", GetLongParams, DISPID_Height, 17),
    Put(u"Height", PutLongParams, DISPID_Height, 18),
    Get(u"Ratio", GetLongParams, DISPID_Ratio, 19),
    Put(u"Ratio", PutLongParams, DISPID_Ratio, 20),
    Get(u"ImageType", GetLongParams, DISPID_ImageType, 21),
    Put(u"ImageType", PutLongParams, DISPID_ImageType, 22),
    Get(u"BGColor", GetLongParams, DISPID_BGColor, 23),
    Put(u"BGColor", PutLongParams, DISPID_BGColor, 24),
    Get(u"BarColor", GetLongParams, DISPID_BarColor, 25),
    Put(u"BarColor", PutLongParams, DISPID_BarColor, 26),
    Get(u"ChecksumMethod", GetLongParams, DISPID_ChecksumMethod, 27),
    Put(u"ChecksumMethod", PutLongParams, DISPID_ChecksumMethod, 28),
    Method(u"SaveBarcode", SaveBarcodeParams, 2, DISPID_SaveBarcode, 29),
};
static_assert(std::size(QuillaxMembers) == 30, "IQuillax has 30 own slots");

// IQuillax2's own members, in function-table order after IQuillax's 30 slots. Read-only
// properties have a getter only; new members go at the end.
constexpr UINT FirstQuillax2Slot = std::size(QuillaxMembers);
constexpr METHODDATA Quillax2Members[] = {
    Get(u"LastResult", GetLongParams, DISPID_LastResult, FirstQuillax2Slot + 0),
    Get(u"LastError", GetBstrParams, DISPID_LastError, FirstQuillax2Slot + 1),
    Get(u"Layout", GetLongParams, DISPID_Layout, FirstQuillax2Slot + 2),
    Put(u"Layout", PutLongParams, DISPID_Layout, FirstQuillax2Slot + 3),
    Get(u"QuietZone", GetLongParams, DISPID_QuietZone, FirstQuillax2Slot + 4),
    Put(u"QuietZone", PutLongParams, DISPID_QuietZone, FirstQuillax2Slot + 5),
    Get(u"Resolution", GetLongParams, DISPID_Resolution, FirstQuillax2Slot + 6),
    Put(u"Resolution", PutLongParams, DISPID_Resolution, FirstQuillax2Slot + 7),
    Get(u"XDimension", GetDoubleParams, DISPID_XDimension, FirstQuillax2Slot + 8),
    Put(u"XDimension", PutDoubleParams, DISPID_XDimension, FirstQuillax2Slot + 9),
    Get(u"ActualXDimension", GetDoubleParams, DISPID_ActualXDimension, FirstQuillax2Slot + 10),
};

// Dual, OLE-automation compatible and dispatchable.
constexpr WORD QuillaxInterfaceFlags =
    TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDISPATCHABLE;
static_assert(QuillaxInterfaceFlags == 0x1140);

constexpr LCID USEnglish = 1033;

} // namespace

const InterfaceDescription IQuillaxDescription = {
    u"IQuillax",
    u"Dispatch interface for Quillax Object",
    IID_IQuillax,
    1,
    0,
    QuillaxInterfaceFlags,
    {QuillaxMembers, static_cast<UINT>(std::size(QuillaxMembers))},
    nullptr,
};

const InterfaceDescription IQuillax2Description = {
    u"IQuillax2",
    u"Dispatch interface for Quillax Object, with the render's outcome and print settings",
    IID_IQuillax2,
    1,
    0,
    QuillaxInterfaceFlags,
    {Quillax2Members, static_cast<UINT>(std::size(Quillax2Members))},
    &IQuillaxDescription,
};

const CoClassDescription QuillaxDescription = {
    u"Quillax", u"Quillax Object", CLSID_Quillax, 1, 0, TYPEFLAG_FCANCREATE, &IQuillax2Description,
};

namespace {
const InterfaceDescription* const LibraryInterfaces[] = {&IQuillaxDescription,
                                                         &IQuillax2Description};
const CoClassDescription* const LibraryClasses[] = {&QuillaxDescription};
} // namespace

const TypeLibDescription Kemrin_QuillaxDescription = {
    u"Kemrin_Quillax",
    u"Kemrin_Quillax Library",
    LIBID_Kemrin_Quillax,
    Kemrin_QuillaxMajorVersion,
    Kemrin_QuillaxMinorVersion,
    USEnglish,
    SYS_WIN32,
    LibraryInterfaces,
    static_cast<UINT>(std::size(LibraryInterfaces)),
    LibraryClasses,
    1,
};

HRESULT LoadKemrin_QuillaxTypeLib(ITypeLib** pptlib) {
    return CreateTypeLibFromDescription(Kemrin_QuillaxDescription, pptlib);
}

} // namespace quillax
