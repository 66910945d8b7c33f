// Every member of the built object through IDispatch: names give the whole dispatch-id
// table in any case, and each property set through Invoke reaches its own setter: the value
// reads back through the interface's own getter, and no other property moves.
#include "apps/page/ComponentHost.h"
#include "hosting/Kemrin_Quillax_TLB.h"
#include "platform/AnsiCodePage.h"
#include "tests/StatusText.h"
#include "tests/support/BuiltComponent.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <string>

namespace quillax::test {
namespace {

// Every property as its interface's getter reads it, as text ("True"/"False" for booleans).
std::map<std::string, std::string> ReadAll(IQuillax* q) {
    std::map<std::string, std::string> values;
    auto number = [&](const char* name, HRESULT (STDMETHODCALLTYPE IQuillax::*get)(LONG*)) {
        LONG v = 0x5A5A5A5A;
        EXPECT_HR(S_OK, (q->*get)(&v));
        values[name] = std::to_string(v);
    };
    auto flag = [&](const char* name, HRESULT (STDMETHODCALLTYPE IQuillax::*get)(VARIANT_BOOL*)) {
        VARIANT_BOOL v = 0x55;
        EXPECT_HR(S_OK, (q->*get)(&v));
        values[name] = v == VARIANT_TRUE ? "True" : v == VARIANT_FALSE ? "False" : "?";
    };
    auto text = [&](const char* name, HRESULT (STDMETHODCALLTYPE IQuillax::*get)(BSTR*)) {
        BStr v;
        EXPECT_HR(S_OK, (q->*get)(v.ReleaseAndGetAddressOf()));
        values[name] = WideToAnsi(std::u16string(v.View()));
    };
    INT orientation = 0x5A5A;
    EXPECT_HR(S_OK, q->get_Orientation(&orientation));
    values["Orientation"] = std::to_string(orientation);
    text("ImageTypeStr", &IQuillax::get_ImageTypeStr);
    number("BarcodeType", &IQuillax::get_BarcodeType);
    text("Data", &IQuillax::get_Data);
    flag("Checksum", &IQuillax::get_Checksum);
    number("NarrowBarWidth", &IQuillax::get_NarrowBarWidth);
    flag("ShowText", &IQuillax::get_ShowText);
    number("Height", &IQuillax::get_Height);
    number("BGColor", &IQuillax::get_BGColor);
    number("Ratio", &IQuillax::get_Ratio);
    number("ImageType", &IQuillax::get_ImageType);
    number("BarColor", &IQuillax::get_BarColor);
    number("ChecksumMethod", &IQuillax::get_ChecksumMethod);
    return values;
}

DISPID IdOf(IDispatch* object, std::string name, HRESULT expected = S_OK) {
    std::u16string wide(name.begin(), name.end());
    LPOLESTR names[] = {wide.data()};
    DISPID id = 12345;
    EXPECT_HR(expected, object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id))
        << name;
    return id;
}

// A property put as a typed script value (not text), so no conversion can hide a wrong slot.
struct TPut {
    VARTYPE Type;
    LONG Number;
    const char16_t* Text;
};

struct TMember {
    const char* Name;
    DISPID Id;
    bool Property;
    TPut Value;
    std::map<std::string, std::string> Changes; // what the getters read afterwards
};

const TMember kMembers[] = {
    {"OnStartPage", 201, false, {}, {}},
    {"OnEndPage", 202, false, {}, {}},
    {"ShowBarcode", 203, false, {}, {}},
    {"ImageTypeStr",
     204,
     true,
     {VT_BSTR, 0, u"png"},
     {{"ImageTypeStr", "PNG"}, {"ImageType", "3"}}},
    {"BarcodeType", 205, true, {VT_I4, 7, nullptr}, {{"BarcodeType", "7"}}},
    {"Orientation", 206, true, {VT_INT, 123, nullptr}, {{"Orientation", "123"}}},
    {"Data", 208, true, {VT_BSTR, 0, u"Distinct 42"}, {{"Data", "Distinct 42"}}},
    {"Checksum", 209, true, {VT_BOOL, VARIANT_TRUE, nullptr}, {{"Checksum", "True"}}},
    {"NarrowBarWidth", 210, true, {VT_I4, 11, nullptr}, {{"NarrowBarWidth", "11"}}},
    {"ShowText", 211, true, {VT_BOOL, VARIANT_TRUE, nullptr}, {{"ShowText", "True"}}},
    {"Height", 213, true, {VT_I4, 77, nullptr}, {{"Height", "77"}}},
    {"BGColor", 214, true, {VT_I4, 0x123456, nullptr}, {{"BGColor", "1193046"}}},
    {"Ratio", 215, true, {VT_I4, 3, nullptr}, {{"Ratio", "3"}}},
    {"ImageType", 216, true, {VT_I4, 1, nullptr}, {{"ImageType", "1"}, {"ImageTypeStr", "JPG"}}},
    {"BarColor", 217, true, {VT_I4, 0x654321, nullptr}, {{"BarColor", "6636321"}}},
    {"ChecksumMethod", 218, true, {VT_I4, 0, nullptr}, {{"ChecksumMethod", "0"}}},
    {"SaveBarcode", 219, false, {}, {}},
};

std::string Cased(std::string name, int (*change)(int)) {
    std::transform(name.begin(), name.end(), name.begin(),
                   [&](char c) { return static_cast<char>(change(c)); });
    return name;
}

TEST(DispatchMembers, NamesInAnyCaseGiveTheWholeIdTable) {
    ComPtr<IDispatch> object = BuiltComponent().CreateObject(CLSID_Quillax);
    for (const TMember& member : kMembers) {
        EXPECT_EQ(member.Id, IdOf(object.Get(), member.Name)) << member.Name;
        EXPECT_EQ(member.Id, IdOf(object.Get(), Cased(member.Name, ::tolower))) << member.Name;
        EXPECT_EQ(member.Id, IdOf(object.Get(), Cased(member.Name, ::toupper))) << member.Name;
    }
    for (const char* unknown : {"Barcode", "", "Data ", "BGColour"})
        EXPECT_EQ(DISPID_UNKNOWN, IdOf(object.Get(), unknown, DISP_E_UNKNOWNNAME));
}

TEST(DispatchMembers, EachPutReachesItsOwnSetterAndNoOther) {
    for (const TMember& member : kMembers) {
        if (!member.Property) continue;
        SCOPED_TRACE(member.Name);
        ComPtr<IDispatch> object = BuiltComponent().CreateObject(CLSID_Quillax);
        ComPtr<IQuillax> barcode;
        ASSERT_HR(S_OK, object.As(IID_IQuillax, &barcode));
        host::StartPage(object.Get(), nullptr);
        std::map<std::string, std::string> expected = ReadAll(barcode.Get());
        for (const auto& [name, value] : member.Changes) {
            ASSERT_NE(expected[name], value) << "not a distinctive value for " << name;
            expected[name] = value;
        }

        VARIANTARG value;
        VariantInit(&value);
        V_VT(&value) = member.Value.Type;
        BStr text(member.Value.Text);
        switch (member.Value.Type) {
        case VT_BSTR:
            V_BSTR(&value) = text.Get();
            break;
        case VT_BOOL:
            V_BOOL(&value) = static_cast<VARIANT_BOOL>(member.Value.Number);
            break;
        case VT_INT:
            V_INT(&value) = member.Value.Number;
            break;
        default:
            V_I4(&value) = member.Value.Number;
            break;
        }
        DISPID named = DISPID_PROPERTYPUT;
        DISPPARAMS params{&value, &named, 1, 1};
        ASSERT_HR(S_OK, object->Invoke(member.Id, IID_NULL, LOCALE_USER_DEFAULT,
                                       DISPATCH_PROPERTYPUT, &params, nullptr, nullptr, nullptr));
        EXPECT_EQ(expected, ReadAll(barcode.Get()));
        // ... and every getter through Invoke reads what the interface reads.
        for (const auto& [name, read] : expected)
            EXPECT_EQ(read, host::GetPropertyText(object.Get(), name)) << name;
    }
}

} // namespace
} // namespace quillax::test
