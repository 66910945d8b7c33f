// Helpers shared by the object's tests: owned wide strings, hex statuses, property setup.
#pragma once

#include "object/UQuillax.h"
#include "platform/OleAuto.h"
#include "tests/StatusText.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace quillax::test {

// A BSTR that frees itself.
struct BstrDeleter {
    void operator()(OLECHAR* s) const { SysFreeString(s); }
};
using TOwnedBstr = std::unique_ptr<OLECHAR, BstrDeleter>;

// A new BSTR holding the ASCII text widened.
inline TOwnedBstr MakeBstr(const std::string& ascii) {
    std::u16string wide(ascii.begin(), ascii.end());
    return TOwnedBstr(SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size())));
}

// The ASCII text of a BSTR (tests only store ASCII).
inline std::string AsciiOf(BSTR s) {
    std::string out;
    for (UINT i = 0; s != nullptr && i < SysStringLen(s); ++i)
        out += static_cast<char>(s[i]);
    return out;
}

// The settings of one barcode as a script would give them after a page start.
struct TBarcodeSetup {
    LONG BarcodeType = 14;
    std::string Data;
    bool Checksum = false;
    LONG NarrowBarWidth = 1;
    LONG Ratio = 2;
    LONG Height = 50;
    bool ShowText = false;
    std::string ImageTypeStr = "BMP";
    INT Orientation = 0;
    LONG Layout = 0;
    LONG QuietZone = -1;
    LONG Resolution = 0;
    DOUBLE XDimension = 0;
};

inline void Apply(TQuillax& object, const TBarcodeSetup& setup) {
    ASSERT_HR(S_OK, object.OnStartPage(nullptr));
    ASSERT_HR(S_OK, object.put_BarcodeType(setup.BarcodeType));
    ASSERT_HR(S_OK, object.put_Data(MakeBstr(setup.Data).get()));
    ASSERT_HR(S_OK, object.put_Checksum(setup.Checksum ? VARIANT_TRUE : VARIANT_FALSE));
    ASSERT_HR(S_OK, object.put_NarrowBarWidth(setup.NarrowBarWidth));
    ASSERT_HR(S_OK, object.put_Ratio(setup.Ratio));
    ASSERT_HR(S_OK, object.put_Height(setup.Height));
    ASSERT_HR(S_OK, object.put_ShowText(setup.ShowText ? VARIANT_TRUE : VARIANT_FALSE));
    ASSERT_HR(S_OK, object.put_ImageTypeStr(MakeBstr(setup.ImageTypeStr).get()));
    ASSERT_HR(S_OK, object.put_Orientation(setup.Orientation));
    ASSERT_HR(S_OK, object.put_Layout(setup.Layout));
    ASSERT_HR(S_OK, object.put_QuietZone(setup.QuietZone));
    ASSERT_HR(S_OK, object.put_Resolution(setup.Resolution));
    ASSERT_HR(S_OK, object.put_XDimension(setup.XDimension));
}

} // namespace quillax::test
