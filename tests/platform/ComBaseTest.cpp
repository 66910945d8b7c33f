#include "PlatformTestSupport.h"
#include "platform/AnsiCodePage.h"

#include <gtest/gtest.h>

#include <atomic>

namespace {

using quillax::ComPtr;
using quillax::test::Hex;

constexpr CLSID kQuillaxClass = quillax::MakeGuid("{6A358604-6623-4CD5-A879-3DF0EABE5F83}");
static_assert(kQuillaxClass.Data1 == 0x6A358604 && kQuillaxClass.Data2 == 0x6623 &&
              kQuillaxClass.Data3 == 0x4CD5 && kQuillaxClass.Data4[0] == 0xA8 &&
              kQuillaxClass.Data4[7] == 0x83);
static_assert(quillax::MakeGuid("651da609-f03c-46ac-ba79-9a7e47fd512e") ==
              quillax::MakeGuid("{651DA609-F03C-46AC-BA79-9A7E47FD512E}"));

TEST(Guid, FormatsUpperCaseBracedAndParsesBack) {
    OLECHAR text[39];
    for (OLECHAR& c : text)
        c = u'#';
    EXPECT_EQ(StringFromGUID2(kQuillaxClass, text, 39), 39);
    EXPECT_EQ(std::u16string(text), u"{6A358604-6623-4CD5-A879-3DF0EABE5F83}");
    EXPECT_EQ(StringFromGUID2(kQuillaxClass, text, 38), 0) << "no room for the terminator";
    EXPECT_EQ(quillax::GuidToString(IID_IDispatch), "{00020400-0000-0000-C000-000000000046}");

    CLSID parsed{};
    EXPECT_EQ(Hex(CLSIDFromString(u"{6a358604-6623-4cd5-a879-3df0eabe5f83}", &parsed)), Hex(S_OK));
    EXPECT_TRUE(IsEqualCLSID(parsed, kQuillaxClass));

    LPOLESTR allocated = nullptr;
    ASSERT_EQ(Hex(StringFromCLSID(kQuillaxClass, &allocated)), Hex(S_OK));
    IID back{};
    EXPECT_EQ(Hex(IIDFromString(allocated, &back)), Hex(S_OK));
    EXPECT_TRUE(IsEqualGUID(back, kQuillaxClass));
    CoTaskMemFree(allocated);
}

TEST(Guid, RejectsMalformedText) {
    const char16_t* rows[] = {
        u"6A358604-6623-4CD5-A879-3DF0EABE5F83",    // no braces
        u"{6A358604-6623-4CD5-A879-3DF0EABE5F8}",   // one digit short
        u"{6A358604-6623-4CD5-A879-3DF0EABE5F833}", // one digit long
        u"{6A358604-6623-4CD5-A8793-DF0EABE5F83}",  // dash misplaced
        u"{6A358604-6623-4CD5-A879-3DF0EABE5FG3}",  // not hexadecimal
        u"{6A358604-6623-4CD5-A879-3DF0EABE5F83}x", // trailing text
    };
    for (const char16_t* text : rows) {
        SCOPED_TRACE(quillax::WideToAnsi(text));
        CLSID clsid = kQuillaxClass;
        EXPECT_EQ(Hex(CLSIDFromString(text, &clsid)), Hex(CO_E_CLASSSTRING));
        EXPECT_TRUE(IsEqualCLSID(clsid, kQuillaxClass)) << "output untouched";
        IID iid{};
        EXPECT_EQ(Hex(IIDFromString(text, &iid)), Hex(E_INVALIDARG));
    }
}

// A counted object for ComPtr.
struct Counted : IUnknown {
    std::atomic<ULONG> refs{1};
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IUnknown) {
            *ppv = this;
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
};

TEST(ComPtr, CountsEveryReference) {
    Counted object; // starts with the creator's reference
    {
        ComPtr<IUnknown> a(&object);
        EXPECT_EQ(object.refs, 2u);
        ComPtr<IUnknown> b = a;
        EXPECT_EQ(object.refs, 3u);
        ComPtr<IUnknown> c = std::move(b);
        EXPECT_EQ(object.refs, 3u);
        EXPECT_FALSE(b);
        ComPtr<IUnknown> d;
        EXPECT_EQ(Hex(a.As(IID_IUnknown, &d)), Hex(S_OK));
        EXPECT_EQ(object.refs, 4u);
        ComPtr<IUnknown> none;
        EXPECT_EQ(Hex(a.As(IID_IDispatch, &none)), Hex(E_NOINTERFACE));
        a = a; // self-assignment keeps the count
        EXPECT_EQ(object.refs, 4u);
    }
    EXPECT_EQ(object.refs, 1u);

    ComPtr<IUnknown> adopted;
    object.AddRef();
    adopted.Attach(&object);
    EXPECT_EQ(object.refs, 2u);
    IUnknown* raw = adopted.Detach();
    EXPECT_EQ(object.refs, 2u);
    raw->Release();
    EXPECT_EQ(object.refs, 1u);
}

TEST(AnsiCodePage, EveryByteWidensAndComesBack) {
    for (int b = 0; b < 256; ++b) {
        const char16_t wide = quillax::AnsiCharToWide(static_cast<unsigned char>(b));
        EXPECT_EQ(static_cast<unsigned char>(quillax::WideCharToAnsi(wide)), b) << "byte " << b;
    }
    struct Row {
        char16_t wide;
        unsigned char ansi;
    } rows[] = {
        {u'\u20AC', 0x80}, // euro sign
        {u'\u2122', 0x99}, // trade mark
        {u'\u0178', 0x9F}, // Y with diaeresis
        {u'\u00E9', 0xE9}, // e acute, as in Latin-1
        {u'\u0081', 0x81}, // a byte the code page leaves undefined
        {u'\u0100', '?'},  // A with macron: no equivalent
        {u'\u4E2D', '?'},  // CJK: no equivalent
        {u'\u0080', '?'},  // the control character whose byte holds the euro sign
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(static_cast<int>(row.wide));
        EXPECT_EQ(static_cast<unsigned char>(quillax::WideCharToAnsi(row.wide)), row.ansi);
    }
}

TEST(AnsiCodePage, StringsKeepZerosAndFoldSurrogatePairs) {
    const char16_t wide[] = {u'A', 0, u'\u20AC', 0xD83D, 0xDE00, u'z'};
    EXPECT_EQ(quillax::WideToAnsi(wide, 6), std::string("A\0\x80?z", 5));
    EXPECT_EQ(quillax::WideToAnsi(nullptr, 3), "");

    BSTR b = quillax::AnsiToBstr(std::string("x\0\x80", 3));
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(SysStringLen(b), 3u);
    EXPECT_EQ(b[2], u'\u20AC');
    EXPECT_EQ(quillax::BstrToAnsi(b), std::string("x\0\x80", 3));
    SysFreeString(b);
    EXPECT_EQ(quillax::BstrToAnsi(nullptr), "");
}

// Text narrows to the same bytes whether or not loss is asked about; only a character without
// an equivalent byte counts as lost, a "?" of its own does not.
TEST(AnsiCodePage, NarrowingTellsWhetherCharactersWereLost) {
    struct Row {
        std::u16string Wide;
        std::string Ansi;
        bool Lost;
    } const rows[] = {
        {u"", "", false},
        {u"plain ASCII?", "plain ASCII?", false},
        {u"caf\u00e9 \u20ac5",
         "caf\xE9 \x80"
         "5",
         false},
        {std::u16string(u"\u0081\0x", 3), std::string("\x81\0x", 3), false},
        {u"\u65e5\u672c", "??", true},
        {u"A\u0100", "A?", true},
        {u"\U0001F600", "?", true},
        {std::u16string(1, char16_t{0xD800}) + u"x", "?x", true}, // a lone surrogate
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Ansi);
        BSTR b = SysAllocStringLen(row.Wide.data(), static_cast<UINT>(row.Wide.size()));
        bool lost = !row.Lost;
        EXPECT_EQ(quillax::BstrToAnsi(b, lost), row.Ansi);
        EXPECT_EQ(lost, row.Lost);
        EXPECT_EQ(quillax::BstrToAnsi(b), row.Ansi);
        SysFreeString(b);
    }
    bool lost = true;
    EXPECT_EQ(quillax::BstrToAnsi(nullptr, lost), "");
    EXPECT_FALSE(lost);
}

} // namespace
