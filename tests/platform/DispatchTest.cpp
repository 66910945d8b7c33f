#include "PlatformTestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using quillax::BStr;
using quillax::ComPtr;
using quillax::test::Hex;
using quillax::test::SetBstr;
using quillax::test::Text;
using quillax::test::Var;

// A dual interface in the shape of the component's: every member returns a status.
struct ISample : IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get_Name(BSTR* Value) = 0;             // slot 7
    virtual HRESULT STDMETHODCALLTYPE put_Name(BSTR Value) = 0;              // slot 8
    virtual HRESULT STDMETHODCALLTYPE get_Count(LONG* Value) = 0;            // slot 9
    virtual HRESULT STDMETHODCALLTYPE put_Count(LONG Value) = 0;             // slot 10
    virtual HRESULT STDMETHODCALLTYPE get_Enabled(VARIANT_BOOL* Value) = 0;  // slot 11
    virtual HRESULT STDMETHODCALLTYPE put_Enabled(VARIANT_BOOL Value) = 0;   // slot 12
    virtual HRESULT STDMETHODCALLTYPE Save(BSTR FileName, LONG* Result) = 0; // slot 13
    virtual HRESULT STDMETHODCALLTYPE Fail() = 0;                            // slot 14
    virtual HRESULT STDMETHODCALLTYPE Attach(IUnknown* Context) = 0;         // slot 15
    virtual HRESULT STDMETHODCALLTYPE put_Level(BYTE Value) = 0;             // slot 16
    virtual HRESULT STDMETHODCALLTYPE put_Small(SHORT Value) = 0;            // slot 17
};

const PARAMDATA kValueOutBstr[] = {{u"Value", VT_BSTR | VT_BYREF}};
const PARAMDATA kBstrIn[] = {{nullptr, VT_BSTR}};
const PARAMDATA kValueOutLong[] = {{u"Value", VT_I4 | VT_BYREF}};
const PARAMDATA kLongIn[] = {{nullptr, VT_I4}};
const PARAMDATA kValueOutBool[] = {{u"Value", VT_BOOL | VT_BYREF}};
const PARAMDATA kBoolIn[] = {{nullptr, VT_BOOL}};
const PARAMDATA kSaveParams[] = {{u"FileName", VT_BSTR}, {u"Result", VT_I4 | VT_BYREF}};
const PARAMDATA kAttachParams[] = {{u"Context", VT_UNKNOWN}};
const PARAMDATA kByteIn[] = {{nullptr, VT_UI1}};
const PARAMDATA kShortIn[] = {{nullptr, VT_I2}};

constexpr WORD GET = DISPATCH_PROPERTYGET, PUT = DISPATCH_PROPERTYPUT, CALL = DISPATCH_METHOD;

const METHODDATA kMembers[] = {
    {u"Name", kValueOutBstr, 1, 7, CC_STDCALL, 1, GET, VT_HRESULT},
    {u"Name", kBstrIn, 1, 8, CC_STDCALL, 1, PUT, VT_HRESULT},
    {u"Count", kValueOutLong, 2, 9, CC_STDCALL, 1, GET, VT_HRESULT},
    {u"Count", kLongIn, 2, 10, CC_STDCALL, 1, PUT, VT_HRESULT},
    {u"Enabled", kValueOutBool, 3, 11, CC_STDCALL, 1, GET, VT_HRESULT},
    {u"Enabled", kBoolIn, 3, 12, CC_STDCALL, 1, PUT, VT_HRESULT},
    {u"Save", kSaveParams, 4, 13, CC_STDCALL, 2, CALL, VT_HRESULT},
    {u"Fail", nullptr, 5, 14, CC_STDCALL, 0, CALL, VT_HRESULT},
    {u"Attach", kAttachParams, 6, 15, CC_STDCALL, 1, CALL, VT_HRESULT},
    {u"Level", kByteIn, 7, 16, CC_STDCALL, 1, PUT, VT_HRESULT},
    {u"Small", kShortIn, 8, 17, CC_STDCALL, 1, PUT, VT_HRESULT},
};

class Sample final : public ISample {
public:
    std::u16string name = u"initial";
    LONG count = 0;
    VARIANT_BOOL enabled = VARIANT_FALSE;
    std::u16string savedTo;
    IUnknown* attached = reinterpret_cast<IUnknown*>(0x1);
    BYTE level = 0;
    SHORT small = 0;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** ppv) override {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                     UINT*) override {
        return E_NOTIMPL;
    }

    HRESULT STDMETHODCALLTYPE get_Name(BSTR* Value) override {
        *Value = SysAllocStringLen(name.data(), static_cast<UINT>(name.size()));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_Name(BSTR Value) override {
        name = Text(Value);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Count(LONG* Value) override {
        *Value = count;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_Count(LONG Value) override {
        count = Value;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Enabled(VARIANT_BOOL* Value) override {
        *Value = enabled;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_Enabled(VARIANT_BOOL Value) override {
        enabled = Value;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Save(BSTR FileName, LONG* Result) override {
        savedTo = Text(FileName);
        *Result = 3;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Fail() override {
        ComPtr<ICreateErrorInfo> create;
        CreateErrorInfo(create.GetAddressOf());
        create->SetSource(const_cast<LPOLESTR>(u"Sample.Source"));
        create->SetDescription(const_cast<LPOLESTR>(u"it went wrong"));
        create->SetHelpContext(12);
        ComPtr<IErrorInfo> info;
        create.As(IID_IErrorInfo, &info);
        SetErrorInfo(0, info.Get());
        return E_UNEXPECTED;
    }
    HRESULT STDMETHODCALLTYPE Attach(IUnknown* Context) override {
        attached = Context;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_Level(BYTE Value) override {
        level = Value;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_Small(SHORT Value) override {
        small = Value;
        return S_OK;
    }
};

class Dispatch : public ::testing::Test {
protected:
    void SetUp() override {
        INTERFACEDATA data{kMembers, static_cast<UINT>(std::size(kMembers))};
        ASSERT_EQ(Hex(CreateDispTypeInfo(&data, LOCALE_USER_DEFAULT, info.GetAddressOf())),
                  Hex(S_OK));
    }

    // Invokes with the arguments in reading order (reversed into DISPPARAMS here); a put
    // passes its value as the DISPID_PROPERTYPUT named argument.
    HRESULT Call(DISPID id, WORD flags, std::vector<VARIANT*> args, VARIANT* result = nullptr,
                 EXCEPINFO* excep = nullptr, UINT* argErr = nullptr) {
        std::vector<VARIANT> reversed;
        for (auto it = args.rbegin(); it != args.rend(); ++it)
            reversed.push_back(**it);
        DISPID named = DISPID_PROPERTYPUT;
        const bool put = flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF);
        DISPPARAMS params{reversed.data(), put ? &named : nullptr,
                          static_cast<UINT>(reversed.size()), put ? 1u : 0u};
        return DispInvoke(static_cast<ISample*>(&object), info.Get(), id, flags, &params, result,
                          excep, argErr);
    }

    ComPtr<ITypeInfo> info;
    Sample object;
};

TEST_F(Dispatch, NamesMatchWithoutRegardToCase) {
    struct Row {
        std::vector<const char16_t*> names;
        HRESULT status;
        std::vector<DISPID> ids;
    } rows[] = {
        {{u"Count"}, S_OK, {2}},
        {{u"count"}, S_OK, {2}},
        {{u"SAVE"}, S_OK, {4}},
        {{u"Save", u"result"}, S_OK, {4, 1}},
        {{u"Save", u"FILENAME", u"Result"}, S_OK, {4, 0, 1}},
        {{u"Save", u"Nope"}, DISP_E_UNKNOWNNAME, {4, DISPID_UNKNOWN}},
        {{u"Missing"}, DISP_E_UNKNOWNNAME, {DISPID_UNKNOWN}},
        {{u"Coun"}, DISP_E_UNKNOWNNAME, {DISPID_UNKNOWN}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.names.size()) + " names, first " +
                     std::string(row.names[0],
                                 row.names[0] + std::char_traits<char16_t>::length(row.names[0])));
        std::vector<DISPID> ids(row.names.size(), 0x5EED);
        EXPECT_EQ(Hex(DispGetIDsOfNames(info.Get(), const_cast<OLECHAR**>(row.names.data()),
                                        static_cast<UINT>(row.names.size()), ids.data())),
                  Hex(row.status));
        EXPECT_EQ(ids, row.ids);
    }
}

TEST_F(Dispatch, ArgumentsAreConvertedToTheParameterTypes) {
    struct Row {
        const char* name;
        DISPID id;
        const char16_t* text; // passed as VT_BSTR
        HRESULT status;
        std::string state; // the object's fields afterwards
    } rows[] = {
        {"long from text", 2, u"42", S_OK, "count=42 enabled=0 level=0 small=0"},
        {"long from fraction", 2, u"2.5", S_OK, "count=2 enabled=0 level=0 small=0"},
        {"long from letters", 2, u"4x", DISP_E_TYPEMISMATCH, "count=0 enabled=0 level=0 small=0"},
        {"long overflow", 2, u"3000000000", DISP_E_OVERFLOW, "count=0 enabled=0 level=0 small=0"},
        {"bool from True", 3, u"true", S_OK, "count=0 enabled=-1 level=0 small=0"},
        {"bool from number", 3, u"1", S_OK, "count=0 enabled=-1 level=0 small=0"},
        {"bool from word", 3, u"maybe", DISP_E_TYPEMISMATCH, "count=0 enabled=0 level=0 small=0"},
        {"byte", 7, u"255", S_OK, "count=0 enabled=0 level=255 small=0"},
        {"byte overflow", 7, u"256", DISP_E_OVERFLOW, "count=0 enabled=0 level=0 small=0"},
        {"short negative", 8, u"-32768", S_OK, "count=0 enabled=0 level=0 small=-32768"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        object = Sample{};
        Var value;
        SetBstr(&value, row.text);
        UINT argErr = 0x5EED;
        EXPECT_EQ(Hex(Call(row.id, PUT, {&value}, nullptr, nullptr, &argErr)), Hex(row.status));
        EXPECT_EQ(
            "count=" + std::to_string(object.count) + " enabled=" + std::to_string(object.enabled) +
                " level=" + std::to_string(object.level) + " small=" + std::to_string(object.small),
            row.state);
        EXPECT_EQ(argErr, FAILED(row.status) ? 0u : 0x5EEDu) << "failing argument named";
    }
}

TEST_F(Dispatch, StatusesForUnknownMembersAndWrongArgumentCounts) {
    Var name, result, extra, missing;
    SetBstr(&name, u"out.png");
    extra.vt = VT_I4;
    missing.vt = VT_ERROR;
    missing.scode = DISP_E_PARAMNOTFOUND;
    struct Row {
        const char* name;
        DISPID id;
        WORD flags;
        std::vector<VARIANT*> args;
        HRESULT status;
    } rows[] = {
        {"unknown identifier", 99, CALL, {}, DISP_E_MEMBERNOTFOUND},
        {"method call of a property", 2, CALL, {}, DISP_E_MEMBERNOTFOUND},
        {"get of a method-only member", 4, GET, {&name, &result}, DISP_E_MEMBERNOTFOUND},
        {"too many arguments", 4, CALL, {&name, &result, &extra}, DISP_E_BADPARAMCOUNT},
        {"too few arguments", 4, CALL, {&name}, DISP_E_BADPARAMCOUNT},
        {"argument to a getter", 2, GET, {&extra}, DISP_E_BADPARAMCOUNT},
        {"explicitly missing argument", 4, CALL, {&missing, &result}, DISP_E_PARAMNOTOPTIONAL},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(Hex(Call(row.id, row.flags, row.args)), Hex(row.status));
        EXPECT_EQ(object.savedTo, u"") << "the member did not run";
    }
}

TEST_F(Dispatch, GettersReturnTheirValueInTheResult) {
    object.count = -9;
    object.enabled = VARIANT_TRUE;
    Var count, name, enabled;
    count.vt = VT_I2; // preset: replaced by the value
    ASSERT_EQ(Hex(Call(2, DISPATCH_METHOD | DISPATCH_PROPERTYGET, {}, &count)), Hex(S_OK));
    EXPECT_EQ(count.vt, VT_I4);
    EXPECT_EQ(count.lVal, -9);
    ASSERT_EQ(Hex(Call(1, GET, {}, &name)), Hex(S_OK));
    EXPECT_EQ(name.vt, VT_BSTR);
    EXPECT_EQ(Text(name.bstrVal), u"initial");
    ASSERT_EQ(Hex(Call(3, GET, {}, &enabled)), Hex(S_OK));
    EXPECT_EQ(enabled.vt, VT_BOOL);
    EXPECT_EQ(enabled.boolVal, VARIANT_TRUE);
    EXPECT_EQ(Hex(Call(1, GET, {}, nullptr)), Hex(S_OK)) << "no result slot: value dropped";
}

TEST_F(Dispatch, PutByReferenceFlagsReachTheSetter) {
    Var value;
    SetBstr(&value, u"renamed");
    EXPECT_EQ(Hex(Call(1, DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF, {&value})), Hex(S_OK));
    EXPECT_EQ(object.name, u"renamed");
}

TEST_F(Dispatch, OutputParametersReachTheCallersVariables) {
    Var file;
    SetBstr(&file, u"a.bmp");

    // A script variable passed by reference: any type before, the output's type after.
    Var variable;
    SetBstr(&variable, u"old");
    Var byVariant;
    byVariant.vt = VT_VARIANT | VT_BYREF;
    byVariant.pvarVal = &variable;
    ASSERT_EQ(Hex(Call(4, CALL, {&file, &byVariant})), Hex(S_OK));
    EXPECT_EQ(object.savedTo, u"a.bmp");
    EXPECT_EQ(variable.vt, VT_I4);
    EXPECT_EQ(variable.lVal, 3);

    // A typed reference: the member writes straight into it.
    LONG direct = 0;
    Var typed;
    typed.vt = VT_I4 | VT_BYREF;
    typed.plVal = &direct;
    ASSERT_EQ(Hex(Call(4, CALL, {&file, &typed})), Hex(S_OK));
    EXPECT_EQ(direct, 3);

    // Named arguments in any order.
    VARIANT args[2] = {typed, file}; // rgvarg[0] = Result, rgvarg[1] = FileName
    DISPID names[2] = {1, 0};
    DISPPARAMS params{args, names, 2, 2};
    direct = 0;
    ASSERT_EQ(Hex(DispInvoke(static_cast<ISample*>(&object), info.Get(), 4, CALL, &params, nullptr,
                             nullptr, nullptr)),
              Hex(S_OK));
    EXPECT_EQ(direct, 3);
}

TEST_F(Dispatch, InterfaceArgumentsPassThrough) {
    Var none;
    none.vt = VT_DISPATCH;
    none.pdispVal = nullptr;
    ASSERT_EQ(Hex(Call(6, CALL, {&none})), Hex(S_OK));
    EXPECT_EQ(object.attached, nullptr);

    Var text;
    SetBstr(&text, u"not an object");
    object.attached = reinterpret_cast<IUnknown*>(0x1);
    EXPECT_EQ(Hex(Call(6, CALL, {&text})), Hex(DISP_E_TYPEMISMATCH));
    EXPECT_EQ(object.attached, reinterpret_cast<IUnknown*>(0x1));
}

TEST_F(Dispatch, FailingMemberBecomesAnExceptionWithTheErrorRecord) {
    EXCEPINFO excep{};
    excep.scode = 0x5EED;
    ASSERT_EQ(Hex(Call(5, CALL, {}, nullptr, &excep)), Hex(DISP_E_EXCEPTION));
    EXPECT_EQ(Hex(excep.scode), Hex(E_UNEXPECTED));
    EXPECT_EQ(Text(excep.bstrSource), u"Sample.Source");
    EXPECT_EQ(Text(excep.bstrDescription), u"it went wrong");
    EXPECT_EQ(excep.dwHelpContext, 12u);
    SysFreeString(excep.bstrSource);
    SysFreeString(excep.bstrDescription);
    SysFreeString(excep.bstrHelpFile);

    IErrorInfo* left = nullptr;
    EXPECT_EQ(Hex(GetErrorInfo(0, &left)), Hex(S_FALSE)) << "the record went into EXCEPINFO";
}

// Parameters travel in integer registers, but for one double alone (a property setter's).
TEST(TypeInfoCreation, RefusesParametersThatCannotTravelInIntegerRegisters) {
    const PARAMDATA doubleAmongOthers[] = {{u"x", VT_R8}, {u"y", VT_I4}};
    const PARAMDATA twoDoubles[] = {{u"x", VT_R8}, {u"y", VT_R8}};
    const PARAMDATA variantParam[] = {{u"x", VT_VARIANT}, {u"y", VT_VARIANT}};
    for (const PARAMDATA* param : {doubleAmongOthers, twoDoubles, variantParam}) {
        const METHODDATA member{u"M", param, 1, 7, CC_STDCALL, 2, CALL, VT_HRESULT};
        INTERFACEDATA data{&member, 1};
        ITypeInfo* info = reinterpret_cast<ITypeInfo*>(0x1);
        EXPECT_EQ(Hex(CreateDispTypeInfo(&data, 0, &info)), Hex(E_INVALIDARG));
        EXPECT_EQ(info, nullptr);
    }
}

// ----- type library ---------------------------------------------------------------------

constexpr IID kSampleIid = quillax::MakeGuid("{0B5D7C51-7A1C-4F3E-9E0A-5B3D2C1A0F01}");
constexpr CLSID kSampleClsid = quillax::MakeGuid("{0B5D7C51-7A1C-4F3E-9E0A-5B3D2C1A0F02}");
constexpr GUID kSampleLibid = quillax::MakeGuid("{0B5D7C51-7A1C-4F3E-9E0A-5B3D2C1A0F03}");

const quillax::InterfaceDescription kSampleInterface{
    u"ISample",
    u"Dispatch interface for Sample Object",
    kSampleIid,
    1,
    0,
    TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDISPATCHABLE,
    {kMembers, static_cast<UINT>(std::size(kMembers))},
    nullptr};
const quillax::CoClassDescription kSampleClass{u"Sample", u"Sample Object",    kSampleClsid,     1,
                                               0,         TYPEFLAG_FCANCREATE, &kSampleInterface};
const quillax::InterfaceDescription* const kInterfaces[] = {&kSampleInterface};
const quillax::CoClassDescription* const kClasses[] = {&kSampleClass};
const quillax::TypeLibDescription kSampleLib{u"Sample_Lib",
                                             u"Sample_Lib Library",
                                             kSampleLibid,
                                             1,
                                             0,
                                             1033,
                                             SYS_WIN32,
                                             kInterfaces,
                                             1,
                                             kClasses,
                                             1};

TEST(TypeLib, DescribesTheClassAndItsDefaultInterface) {
    ComPtr<ITypeLib> lib;
    ASSERT_EQ(Hex(quillax::CreateTypeLibFromDescription(kSampleLib, lib.GetAddressOf())),
              Hex(S_OK));
    TLIBATTR* attr = nullptr;
    ASSERT_EQ(Hex(lib->GetLibAttr(&attr)), Hex(S_OK));
    EXPECT_TRUE(IsEqualGUID(attr->guid, kSampleLibid));
    EXPECT_EQ(attr->lcid, 1033u);
    EXPECT_EQ(attr->wMajorVerNum, 1);
    lib->ReleaseTLibAttr(attr);
    EXPECT_EQ(lib->GetTypeInfoCount(), 2u);

    ComPtr<ITypeInfo> cls;
    ASSERT_EQ(Hex(lib->GetTypeInfoOfGuid(kSampleClsid, cls.GetAddressOf())), Hex(S_OK));
    BStr name, doc;
    ASSERT_EQ(Hex(cls->GetDocumentation(MEMBERID_NIL, name.ReleaseAndGetAddressOf(),
                                        doc.ReleaseAndGetAddressOf(), nullptr, nullptr)),
              Hex(S_OK));
    EXPECT_EQ(Text(name.Get()), u"Sample");
    EXPECT_EQ(Text(doc.Get()), u"Sample Object");

    TYPEATTR* typeAttr = nullptr;
    ASSERT_EQ(Hex(cls->GetTypeAttr(&typeAttr)), Hex(S_OK));
    EXPECT_EQ(typeAttr->typekind, TKIND_COCLASS);
    EXPECT_EQ(typeAttr->cImplTypes, 1);
    cls->ReleaseTypeAttr(typeAttr);
    INT flags = 0;
    ASSERT_EQ(Hex(cls->GetImplTypeFlags(0, &flags)), Hex(S_OK));
    EXPECT_EQ(flags, IMPLTYPEFLAG_FDEFAULT);
    HREFTYPE ref = 0;
    ASSERT_EQ(Hex(cls->GetRefTypeOfImplType(0, &ref)), Hex(S_OK));
    ComPtr<ITypeInfo> iface;
    ASSERT_EQ(Hex(cls->GetRefTypeInfo(ref, iface.GetAddressOf())), Hex(S_OK));
    ASSERT_EQ(Hex(iface->GetTypeAttr(&typeAttr)), Hex(S_OK));
    EXPECT_TRUE(IsEqualIID(typeAttr->guid, kSampleIid));
    EXPECT_EQ(typeAttr->typekind, TKIND_DISPATCH);
    EXPECT_EQ(Hex(typeAttr->wTypeFlags), Hex(0x1140));
    EXPECT_EQ(typeAttr->cFuncs, std::size(kMembers));
    iface->ReleaseTypeAttr(typeAttr);

    FUNCDESC* fd = nullptr;
    ASSERT_EQ(Hex(iface->GetFuncDesc(6, &fd)), Hex(S_OK)); // Save
    EXPECT_EQ(fd->memid, 4);
    EXPECT_EQ(fd->oVft, static_cast<SHORT>(13 * sizeof(void*)));
    EXPECT_EQ(fd->cParams, 2);
    EXPECT_EQ(fd->lprgelemdescParam[1].tdesc.vt, VT_PTR);
    EXPECT_EQ(fd->lprgelemdescParam[1].tdesc.lptdesc->vt, VT_I4);
    EXPECT_EQ(fd->lprgelemdescParam[1].paramdesc.wParamFlags, PARAMFLAG_FOUT)
        << "an output, not a return value";
    iface->ReleaseFuncDesc(fd);

    ComPtr<ITypeInfo> missing;
    EXPECT_EQ(Hex(lib->GetTypeInfoOfGuid(IID_IDispatch, missing.GetAddressOf())),
              Hex(TYPE_E_ELEMENTNOTFOUND));
    ComPtr<ITypeLib> container;
    UINT index = 99;
    ASSERT_EQ(Hex(iface->GetContainingTypeLib(container.GetAddressOf(), &index)), Hex(S_OK));
    EXPECT_EQ(container.Get(), lib.Get());
    EXPECT_EQ(index, 0u);
}

} // namespace
