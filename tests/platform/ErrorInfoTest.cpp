#include "PlatformTestSupport.h"
#include "platform/SysUtils.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

using quillax::BStr;
using quillax::ComPtr;
using quillax::test::Hex;
using quillax::test::Text;

constexpr IID kSomeInterface = quillax::MakeGuid("{F4DB5FB9-5221-48D4-9B6D-C54CC9CE715F}");

// Sets a record with the given description as the thread's current one.
void SetRecord(const char16_t* description) {
    ComPtr<ICreateErrorInfo> create;
    ASSERT_EQ(Hex(CreateErrorInfo(create.GetAddressOf())), Hex(S_OK));
    create->SetGUID(kSomeInterface);
    create->SetSource(const_cast<LPOLESTR>(u"Kemrin_Quillax.Quillax"));
    create->SetDescription(const_cast<LPOLESTR>(description));
    create->SetHelpContext(7);
    ComPtr<IErrorInfo> info;
    ASSERT_EQ(Hex(create.As(IID_IErrorInfo, &info)), Hex(S_OK));
    ASSERT_EQ(Hex(SetErrorInfo(0, info.Get())), Hex(S_OK));
}

TEST(ErrorInfo, RecordCarriesItsFieldsAndIsTakenOnce) {
    SetRecord(u"Interface not supported");
    ComPtr<IErrorInfo> info;
    ASSERT_EQ(Hex(GetErrorInfo(0, info.GetAddressOf())), Hex(S_OK));
    ASSERT_TRUE(info);
    GUID guid{};
    info->GetGUID(&guid);
    EXPECT_TRUE(IsEqualIID(guid, kSomeInterface));
    BStr source, description, helpFile;
    info->GetSource(source.ReleaseAndGetAddressOf());
    info->GetDescription(description.ReleaseAndGetAddressOf());
    info->GetHelpFile(helpFile.ReleaseAndGetAddressOf());
    EXPECT_EQ(Text(source.Get()), u"Kemrin_Quillax.Quillax");
    EXPECT_EQ(Text(description.Get()), u"Interface not supported");
    EXPECT_EQ(Text(helpFile.Get()), u"");
    DWORD context = 0;
    info->GetHelpContext(&context);
    EXPECT_EQ(context, 7u);

    IErrorInfo* again = reinterpret_cast<IErrorInfo*>(0x1);
    EXPECT_EQ(Hex(GetErrorInfo(0, &again)), Hex(S_FALSE)) << "taking the record clears it";
    EXPECT_EQ(again, nullptr);
}

TEST(ErrorInfo, EachThreadHasItsOwnRecord) {
    SetRecord(u"main thread");
    bool otherSawNone = false;
    std::thread other([&] {
        IErrorInfo* info = nullptr;
        otherSawNone = GetErrorInfo(0, &info) == S_FALSE && info == nullptr;
        SetRecord(u"other thread"); // released when the thread ends
    });
    other.join();
    EXPECT_TRUE(otherSawNone);
    ComPtr<IErrorInfo> mine;
    ASSERT_EQ(Hex(GetErrorInfo(0, mine.GetAddressOf())), Hex(S_OK));
    BStr description;
    mine->GetDescription(description.ReleaseAndGetAddressOf());
    EXPECT_EQ(Text(description.Get()), u"main thread");
}

// Failures raise with the platform's own status values; S_OK and S_FALSE both succeed.
TEST(OleCheck, MessageComesFromRecordThenSystemTextThenCode) {
    struct Row {
        const char* name;
        const char16_t* record; // null: no record left by the call
        HRESULT status;
        uint32_t code; // the status's value on the platform
        const char* message;
    } rows[] = {
        {"record description", u"Host refused", E_FAIL, 0x80004005, "Host refused"},
        {"system text", nullptr, E_NOINTERFACE, 0x80004002, "No such interface supported"},
        {"catastrophic", nullptr, E_UNEXPECTED, 0x8000FFFF, "Catastrophic failure"},
        {"no class", nullptr, CLASS_E_CLASSNOTAVAILABLE, 0x80040111,
         "ClassFactory cannot supply requested class"},
        {"bad index", nullptr, DISP_E_BADINDEX, 0x8002000B, "Invalid index"},
        {"system error 5", nullptr, HRESULT_FROM_WIN32(5), 0x80070005, "Access is denied"},
        {"no text at all", nullptr, static_cast<HRESULT>(0x8004ABCD), 0x8004ABCD,
         "OLE error 8004abcd"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        SetErrorInfo(0, nullptr);
        if (row.record) SetRecord(row.record);
        try {
            quillax::OleCheck(row.status);
            ADD_FAILURE() << "no exception";
        } catch (const quillax::EOleSysError& e) {
            EXPECT_EQ(e.Message(), row.message);
            EXPECT_EQ(Hex(e.ErrorCode()), Hex(static_cast<HRESULT>(row.code)));
        }
    }
    EXPECT_NO_THROW(quillax::OleCheck(S_OK));
    EXPECT_NO_THROW(quillax::OleCheck(S_FALSE));
}

} // namespace
