// Windows-1252 <-> UTF-16.
#include "platform/AnsiCodePage.h"

namespace {

// Windows-1252 bytes 0x80-0x9F (the rest are Latin-1). The five bytes the code page leaves
// undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the control characters of the same value.
constexpr OLECHAR kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F, // 88-8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178, // 98-9F
};

bool IsHighSurrogate(OLECHAR c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLowSurrogate(OLECHAR c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

} // namespace

namespace quillax {

OLECHAR AnsiCharToWide(unsigned char c) {
    return c >= 0x80 && c <= 0x9F ? kHighControls[c - 0x80] : OLECHAR(c);
}

char WideCharToAnsi(OLECHAR c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<char>(c);
    for (int i = 0; i < 32; ++i)
        if (kHighControls[i] == c) return static_cast<char>(0x80 + i);
    return '?';
}

namespace {

// The narrowed text; lost is set when a character had no equivalent byte.
std::string Narrow(const OLECHAR* text, std::size_t length, bool& lost) {
    std::string out;
    lost = false;
    if (!text) return out;
    out.reserve(length);
    for (std::size_t i = 0; i < length; ++i) {
        const OLECHAR c = text[i];
        if (IsHighSurrogate(c) && i + 1 < length && IsLowSurrogate(text[i + 1])) {
            out.push_back('?');
            lost = true;
            ++i;
        } else {
            const char narrowed = WideCharToAnsi(c);
            lost = lost || (narrowed == '?' && c != u'?');
            out.push_back(narrowed);
        }
    }
    return out;
}

} // namespace

std::string WideToAnsi(const OLECHAR* text, std::size_t length) {
    bool lost;
    return Narrow(text, length, lost);
}

std::string WideToAnsi(OleStringView text) {
    return WideToAnsi(text.data(), text.size());
}

std::string BstrToAnsi(BSTR text) {
    return WideToAnsi(text, SysStringLen(text));
}

std::string BstrToAnsi(BSTR text, bool& lost) {
    return Narrow(text, SysStringLen(text), lost);
}

OleString AnsiToWide(std::string_view text) {
    OleString out;
    out.reserve(text.size());
    for (char c : text)
        out.push_back(AnsiCharToWide(static_cast<unsigned char>(c)));
    return out;
}

BSTR AnsiToBstr(std::string_view text) {
    if (text.size() > 0x7FFFFFF0u) return nullptr;
    BSTR s = SysAllocStringLen(nullptr, static_cast<UINT>(text.size()));
    if (!s) return nullptr;
    for (std::size_t i = 0; i < text.size(); ++i)
        s[i] = AnsiCharToWide(static_cast<unsigned char>(text[i]));
    return s;
}

} // namespace quillax
