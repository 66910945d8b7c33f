// The text form of GUIDs.
#include "platform/ComBase.h"

#include <cstring>

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

// The 38 characters of the braced form, without terminator.
template <class Char>
void FormatGuid(REFGUID g, Char* out) {
    BYTE bytes[16] = {
        BYTE(g.Data1 >> 24), BYTE(g.Data1 >> 16), BYTE(g.Data1 >> 8), BYTE(g.Data1),
        BYTE(g.Data2 >> 8),  BYTE(g.Data2),       BYTE(g.Data3 >> 8), BYTE(g.Data3),
    };
    std::memcpy(bytes + 8, g.Data4, 8);
    int pos = 0;
    out[pos++] = '{';
    for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) out[pos++] = '-';
        out[pos++] = static_cast<Char>(kHexDigits[bytes[i] >> 4]);
        out[pos++] = static_cast<Char>(kHexDigits[bytes[i] & 0xF]);
    }
    out[pos++] = '}';
}

} // namespace

std::string quillax::GuidToString(REFGUID guid) {
    std::string text(38, ' ');
    FormatGuid(guid, text.data());
    return text;
}

quillax::OleString quillax::GuidToWide(REFGUID guid) {
    quillax::OleString text(38, OLECHAR(' '));
    FormatGuid(guid, text.data());
    return text;
}
