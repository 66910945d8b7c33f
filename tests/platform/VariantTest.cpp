#include "PlatformTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

namespace {

using quillax::test::Hex;
using quillax::test::SetBstr;
using quillax::test::Text;
using quillax::test::Var;

// ----- BSTR -------------------------------------------------------------------------------

TEST(Bstr, LengthPrefixAndEmbeddedZeros) {
    const char16_t data[] = {u'a', 0, u'b', 0, u'c'};
    BSTR s = SysAllocStringLen(data, 5);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(SysStringLen(s), 5u);
    EXPECT_EQ(SysStringByteLen(s), 10u);
    EXPECT_EQ(*reinterpret_cast<const std::uint32_t*>(reinterpret_cast<char*>(s) - 4), 10u);
    EXPECT_EQ(std::memcmp(s, data, sizeof data), 0);
    EXPECT_EQ(s[5], 0) << "terminated after the last character";
    SysFreeString(s);

    struct Row {
        const char16_t* text;
        UINT length;
    } rows[] = {{u"", 0}, {u"x", 1}, {u"Kemrin_Quillax.Quillax", 22}};
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.text, row.text + row.length));
        BSTR b = SysAllocString(row.text);
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(SysStringLen(b), row.length);
        SysFreeString(b);
    }
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    EXPECT_EQ(SysStringLen(nullptr), 0u) << "a null BSTR is the empty string";
    SysFreeString(nullptr);
}

TEST(Bstr, OddByteLengthAndNullSourceAreZeroed) {
    BSTR odd = SysAllocStringByteLen("abc", 3);
    ASSERT_NE(odd, nullptr);
    EXPECT_EQ(SysStringByteLen(odd), 3u);
    EXPECT_EQ(SysStringLen(odd), 1u);
    EXPECT_EQ(std::memcmp(odd, "abc\0", 4), 0);
    SysFreeString(odd);

    BSTR blank = SysAllocStringLen(nullptr, 4);
    ASSERT_NE(blank, nullptr);
    for (int i = 0; i <= 4; ++i)
        EXPECT_EQ(blank[i], 0);
    SysFreeString(blank);
}

// ----- VariantChangeType -----------------------------------------------------------------

// Builds a source variant.
using Maker = std::function<void(VARIANT*)>;
Maker I4(LONG v) {
    return [v](VARIANT* x) { x->vt = VT_I4, x->lVal = v; };
}
Maker I2(SHORT v) {
    return [v](VARIANT* x) { x->vt = VT_I2, x->iVal = v; };
}
Maker UI1(BYTE v) {
    return [v](VARIANT* x) { x->vt = VT_UI1, x->bVal = v; };
}
Maker R8(double v) {
    return [v](VARIANT* x) { x->vt = VT_R8, x->dblVal = v; };
}
Maker I8(LONGLONG v) {
    return [v](VARIANT* x) { x->vt = VT_I8, x->llVal = v; };
}
Maker Bool(VARIANT_BOOL v) {
    return [v](VARIANT* x) { x->vt = VT_BOOL, x->boolVal = v; };
}
Maker Str(const char16_t* s) {
    return [s](VARIANT* x) { SetBstr(x, s); };
}
Maker Empty() {
    return [](VARIANT*) {};
}
Maker Null() {
    return [](VARIANT* x) { x->vt = VT_NULL; };
}

// The converted value as text, for comparison: "I4:42", "BSTR:True", ...
std::string Describe(const VARIANT& v) {
    switch (v.vt) {
    case VT_EMPTY:
        return "EMPTY";
    case VT_I4:
        return "I4:" + std::to_string(v.lVal);
    case VT_INT:
        return "INT:" + std::to_string(v.intVal);
    case VT_I2:
        return "I2:" + std::to_string(v.iVal);
    case VT_UI1:
        return "UI1:" + std::to_string(v.bVal);
    case VT_BOOL:
        return "BOOL:" + std::to_string(v.boolVal);
    case VT_R8: {
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "R8:%g", v.dblVal);
        return buffer;
    }
    case VT_BSTR: {
        const std::u16string t = Text(v.bstrVal);
        return "BSTR:" + std::string(t.begin(), t.end());
    }
    default:
        return "vt " + std::to_string(v.vt);
    }
}

struct ChangeRow {
    const char* name;
    Maker source;
    VARTYPE target;
    HRESULT status;
    std::string expected; // Describe() of the result; for failures, of the untouched dest
};

TEST(VariantChangeType, ConvertsBetweenTheAutomationTypes) {
    const ChangeRow rows[] = {
        // text to numbers
        {"text to I4", Str(u"42"), VT_I4, S_OK, "I4:42"},
        {"text with spaces", Str(u"  -7 "), VT_I4, S_OK, "I4:-7"},
        {"text fraction rounds half to even", Str(u"2.5"), VT_I4, S_OK, "I4:2"},
        {"text fraction rounds half to even up", Str(u"3.5"), VT_I4, S_OK, "I4:4"},
        {"text exponent", Str(u"1e3"), VT_I4, S_OK, "I4:1000"},
        {"text hexadecimal", Str(u"&H1F"), VT_I4, S_OK, "I4:31"},
        {"text I4 maximum", Str(u"2147483647"), VT_I4, S_OK, "I4:2147483647"},
        {"text I4 minimum", Str(u"-2147483648"), VT_I4, S_OK, "I4:-2147483648"},
        {"text I4 maximum + 1", Str(u"2147483648"), VT_I4, DISP_E_OVERFLOW, "EMPTY"},
        {"text huge", Str(u"1e400"), VT_R8, DISP_E_OVERFLOW, "EMPTY"},
        {"text letters", Str(u"12a"), VT_I4, DISP_E_TYPEMISMATCH, "EMPTY"},
        {"text empty", Str(u""), VT_I4, DISP_E_TYPEMISMATCH, "EMPTY"},
        {"text inf is no number", Str(u"inf"), VT_R8, DISP_E_TYPEMISMATCH, "EMPTY"},
        {"text to INT", Str(u"-5"), VT_INT, S_OK, "INT:-5"},
        {"text to I2 max", Str(u"32767"), VT_I2, S_OK, "I2:32767"},
        {"text to I2 overflow", Str(u"32768"), VT_I2, DISP_E_OVERFLOW, "EMPTY"},
        {"text to UI1 max", Str(u"255"), VT_UI1, S_OK, "UI1:255"},
        {"text to UI1 overflow", Str(u"256"), VT_UI1, DISP_E_OVERFLOW, "EMPTY"},
        {"text to UI1 negative", Str(u"-1"), VT_UI1, DISP_E_OVERFLOW, "EMPTY"},
        {"text to R8", Str(u"0.25"), VT_R8, S_OK, "R8:0.25"},
        // text to booleans
        {"text True", Str(u"True"), VT_BOOL, S_OK, "BOOL:-1"},
        {"text true lower case", Str(u"true"), VT_BOOL, S_OK, "BOOL:-1"},
        {"text FALSE upper case", Str(u"FALSE"), VT_BOOL, S_OK, "BOOL:0"},
        {"text number to bool", Str(u"3"), VT_BOOL, S_OK, "BOOL:-1"},
        {"text zero to bool", Str(u"0"), VT_BOOL, S_OK, "BOOL:0"},
        {"text yes is no bool", Str(u"yes"), VT_BOOL, DISP_E_TYPEMISMATCH, "EMPTY"},
        // numbers to text
        {"I4 to text", I4(-123), VT_BSTR, S_OK, "BSTR:-123"},
        {"bool true to text", Bool(VARIANT_TRUE), VT_BSTR, S_OK, "BSTR:True"},
        {"bool false to text", Bool(VARIANT_FALSE), VT_BSTR, S_OK, "BSTR:False"},
        {"R8 to text", R8(1.5), VT_BSTR, S_OK, "BSTR:1.5"},
        {"R8 to text, 15 digits", R8(0.1), VT_BSTR, S_OK, "BSTR:0.1"},
        {"R8 to text, a third", R8(1.0 / 3), VT_BSTR, S_OK, "BSTR:0.333333333333333"},
        {"UI1 to text", UI1(200), VT_BSTR, S_OK, "BSTR:200"},
        {"I8 maximum to text", I8(INT64_MAX), VT_BSTR, S_OK, "BSTR:9223372036854775807"},
        {"I8 minimum to text", I8(INT64_MIN), VT_BSTR, S_OK, "BSTR:-9223372036854775808"},
        {"I8 beyond a double's digits", I8(9007199254740993), VT_BSTR, S_OK,
         "BSTR:9007199254740993"},
        {"I8 to I4 overflow", I8(INT64_MAX), VT_I4, DISP_E_OVERFLOW, "EMPTY"},
        // numbers to numbers
        {"I4 to I2 fits", I4(-32768), VT_I2, S_OK, "I2:-32768"},
        {"I4 to I2 overflow", I4(40000), VT_I2, DISP_E_OVERFLOW, "EMPTY"},
        {"I4 to UI1 overflow", I4(256), VT_UI1, DISP_E_OVERFLOW, "EMPTY"},
        {"I2 to I4", I2(-2), VT_I4, S_OK, "I4:-2"},
        {"R8 to I4 half to even", R8(-2.5), VT_I4, S_OK, "I4:-2"},
        {"R8 to I4 overflow", R8(3e9), VT_I4, DISP_E_OVERFLOW, "EMPTY"},
        {"bool to I4", Bool(VARIANT_TRUE), VT_I4, S_OK, "I4:-1"},
        {"bool to UI1", Bool(VARIANT_TRUE), VT_UI1, S_OK, "UI1:255"},
        {"I4 to bool", I4(5), VT_BOOL, S_OK, "BOOL:-1"},
        {"UI1 to R8", UI1(7), VT_R8, S_OK, "R8:7"},
        // empty and null
        {"empty to I4", Empty(), VT_I4, S_OK, "I4:0"},
        {"empty to text", Empty(), VT_BSTR, S_OK, "BSTR:"},
        {"empty to bool", Empty(), VT_BOOL, S_OK, "BOOL:0"},
        {"null to I4", Null(), VT_I4, DISP_E_TYPEMISMATCH, "EMPTY"},
        {"I4 to unknown", I4(1), VT_UNKNOWN, DISP_E_TYPEMISMATCH, "EMPTY"},
    };
    for (const ChangeRow& row : rows) {
        SCOPED_TRACE(row.name);
        Var source, dest;
        row.source(&source);
        EXPECT_EQ(Hex(VariantChangeType(&dest, &source, 0, row.target)), Hex(row.status));
        EXPECT_EQ(Describe(dest), row.expected);
    }
}

TEST(VariantChangeType, FollowsByReferenceSourcesAndConvertsInPlace) {
    LONG value = 77;
    Var ref;
    ref.vt = VT_I4 | VT_BYREF;
    ref.plVal = &value;
    Var dest;
    ASSERT_EQ(Hex(VariantChangeType(&dest, &ref, 0, VT_BSTR)), Hex(S_OK));
    EXPECT_EQ(Describe(dest), "BSTR:77");

    // A byref VARIANT is followed to the variant it names.
    Var inner;
    SetBstr(&inner, u"true");
    Var viaVariant;
    viaVariant.vt = VT_VARIANT | VT_BYREF;
    viaVariant.pvarVal = &inner;
    Var flag;
    ASSERT_EQ(Hex(VariantChangeType(&flag, &viaVariant, 0, VT_BOOL)), Hex(S_OK));
    EXPECT_EQ(Describe(flag), "BOOL:-1");
    EXPECT_EQ(Describe(inner), "BSTR:true") << "source untouched";

    // A byref VARIANT naming a byref value is followed to the value; one naming another
    // byref VARIANT (itself, or one that names it back) is refused, never followed round.
    Var viaRef;
    viaRef.vt = VT_VARIANT | VT_BYREF;
    viaRef.pvarVal = &ref;
    Var number;
    ASSERT_EQ(Hex(VariantChangeType(&number, &viaRef, 0, VT_I2)), Hex(S_OK));
    EXPECT_EQ(Describe(number), "I2:77");
    Var self, first, second;
    self.vt = first.vt = second.vt = VT_VARIANT | VT_BYREF;
    self.pvarVal = &self;
    first.pvarVal = &second;
    second.pvarVal = &first;
    for (VARIANT* loop : {static_cast<VARIANT*>(&self), static_cast<VARIANT*>(&first)}) {
        Var out;
        EXPECT_EQ(Hex(VariantChangeType(&out, loop, 0, VT_I4)), Hex(DISP_E_BADVARTYPE));
        EXPECT_EQ(Hex(VariantCopyInd(&out, loop)), Hex(DISP_E_BADVARTYPE));
        EXPECT_EQ(Describe(out), "EMPTY");
    }

    // Destination == source: the text is replaced by the number, nothing leaks.
    Var same;
    SetBstr(&same, u"12");
    ASSERT_EQ(Hex(VariantChangeType(&same, &same, 0, VT_I4)), Hex(S_OK));
    EXPECT_EQ(Describe(same), "I4:12");

    // A failed conversion leaves the destination as it was.
    Var kept;
    kept.vt = VT_I4;
    kept.lVal = 0x5EED;
    Var bad;
    SetBstr(&bad, u"abc");
    EXPECT_EQ(Hex(VariantChangeType(&kept, &bad, 0, VT_I4)), Hex(DISP_E_TYPEMISMATCH));
    EXPECT_EQ(Describe(kept), "I4:" + std::to_string(0x5EED));
}

// ----- SAFEARRAY --------------------------------------------------------------------------

TEST(SafeArray, BoundsLockingAndDestroy) {
    SAFEARRAYBOUND bound{5, 0};
    SAFEARRAY* psa = SafeArrayCreate(VT_UI1, 1, &bound);
    ASSERT_NE(psa, nullptr);
    LONG lo = 0x5EED, hi = 0x5EED;
    EXPECT_EQ(Hex(SafeArrayGetLBound(psa, 1, &lo)), Hex(S_OK));
    EXPECT_EQ(Hex(SafeArrayGetUBound(psa, 1, &hi)), Hex(S_OK));
    EXPECT_EQ(lo, 0);
    EXPECT_EQ(hi, 4);
    LONG untouched = 0x5EED;
    EXPECT_EQ(Hex(SafeArrayGetUBound(psa, 2, &untouched)), Hex(DISP_E_BADINDEX));
    EXPECT_EQ(untouched, 0x5EED);
    VARTYPE vt = 0;
    EXPECT_EQ(Hex(SafeArrayGetVartype(psa, &vt)), Hex(S_OK));
    EXPECT_EQ(vt, VT_UI1);
    EXPECT_EQ(SafeArrayGetDim(psa), 1u);
    EXPECT_EQ(SafeArrayGetElemsize(psa), 1u);

    void* data = nullptr;
    ASSERT_EQ(Hex(SafeArrayAccessData(psa, &data)), Hex(S_OK));
    std::memcpy(data, "hello", 5);
    EXPECT_EQ(Hex(SafeArrayDestroy(psa)), Hex(DISP_E_ARRAYISLOCKED)) << "locked arrays stay";
    EXPECT_EQ(Hex(SafeArrayUnaccessData(psa)), Hex(S_OK));
    EXPECT_EQ(Hex(SafeArrayUnlock(psa)), Hex(E_UNEXPECTED)) << "unlock without a lock";
    EXPECT_EQ(Hex(SafeArrayDestroy(psa)), Hex(S_OK));

    // An empty vector: upper bound below the lower one.
    SAFEARRAY* empty = SafeArrayCreateVector(VT_UI1, 0, 0);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(Hex(SafeArrayGetUBound(empty, 1, &hi)), Hex(S_OK));
    EXPECT_EQ(hi, -1);
    SafeArrayDestroy(empty);

    EXPECT_EQ(SafeArrayCreate(VT_BSTR, 1, &bound), nullptr) << "elements that own memory";
    SAFEARRAYBOUND two[2] = {{2, 0}, {2, 0}};
    EXPECT_EQ(SafeArrayCreate(VT_UI1, 2, two), nullptr) << "one dimension only";
}

// A descriptor lent the caller's bytes (FADF_STATIC): clearing it leaves them to the caller,
// and a copy of it owns bytes of its own.
TEST(SafeArray, AStaticArrayLeavesItsBytesToTheirOwner) {
    char bytes[] = "lent";
    Var lent;
    lent.vt = VT_ARRAY | VT_UI1;
    ASSERT_EQ(Hex(SafeArrayAllocDescriptorEx(VT_UI1, 1, &lent.parray)), Hex(S_OK));
    lent.parray->rgsabound[0] = {4, 0};
    lent.parray->pvData = bytes;
    lent.parray->fFeatures |= FADF_STATIC;
    Var copy;
    ASSERT_EQ(Hex(VariantCopy(&copy, &lent)), Hex(S_OK));
    EXPECT_NE(copy.parray->pvData, static_cast<void*>(bytes));
    EXPECT_EQ(std::memcmp(copy.parray->pvData, "lent", 4), 0);
    EXPECT_EQ(Hex(VariantClear(&lent)), Hex(S_OK));
    EXPECT_STREQ(bytes, "lent");
    SAFEARRAY* bare = nullptr;
    EXPECT_EQ(Hex(SafeArrayAllocDescriptorEx(VT_BSTR, 1, &bare)), Hex(E_INVALIDARG));
    EXPECT_EQ(bare, nullptr);
}

TEST(SafeArray, VariantsCopyAndClearTheirArrays) {
    Var bytes;
    bytes.vt = VT_ARRAY | VT_UI1;
    bytes.parray = SafeArrayCreateVector(VT_UI1, 0, 3);
    ASSERT_NE(bytes.parray, nullptr);
    std::memcpy(bytes.parray->pvData, "abc", 3);

    Var copy;
    ASSERT_EQ(Hex(VariantCopy(&copy, &bytes)), Hex(S_OK));
    ASSERT_EQ(copy.vt, VT_ARRAY | VT_UI1);
    ASSERT_NE(copy.parray, bytes.parray) << "a deep copy";
    EXPECT_EQ(std::memcmp(copy.parray->pvData, "abc", 3), 0);

    // A locked array cannot be cleared away under its user.
    ASSERT_EQ(Hex(SafeArrayLock(copy.parray)), Hex(S_OK));
    EXPECT_EQ(Hex(VariantClear(&copy)), Hex(DISP_E_ARRAYISLOCKED));
    SafeArrayUnlock(copy.parray);
    EXPECT_EQ(Hex(VariantClear(&copy)), Hex(S_OK));
    EXPECT_EQ(copy.vt, VT_EMPTY);

    // Same type: VariantChangeType copies.
    Var same;
    ASSERT_EQ(Hex(VariantChangeType(&same, &bytes, 0, VT_ARRAY | VT_UI1)), Hex(S_OK));
    EXPECT_NE(same.parray, bytes.parray);
    Var asText;
    EXPECT_EQ(Hex(VariantChangeType(&asText, &bytes, 0, VT_BSTR)), Hex(DISP_E_TYPEMISMATCH));
}

} // namespace
