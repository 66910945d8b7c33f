// The UTF-8 codec: one decoding step and one encoding step, each with its two policies.
#include "platform/Utf8.h"

namespace quillax {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// The code point of the well-formed sequence at text[at], and its length; length 0 when the
// bytes there start none.
struct Decoded {
    char32_t code = 0;
    std::size_t length = 0;
};

Decoded DecodeAt(std::string_view text, std::size_t at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    if (lead < 0x80) return {lead, 1};
    std::size_t length = 0;
    char32_t code = 0;
    if (lead >= 0xC2 && lead <= 0xDF)
        length = 2, code = lead & 0x1F;
    else if (lead >= 0xE0 && lead <= 0xEF)
        length = 3, code = lead & 0x0F;
    else if (lead >= 0xF0 && lead <= 0xF4)
        length = 4, code = lead & 0x07;
    else
        return {};
    if (text.size() - at < length) return {};
    for (std::size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[at + k]);
        if ((next & 0xC0) != 0x80) return {};
        code = (code << 6) | (next & 0x3F);
    }
    // Overlong three- and four-byte forms (two-byte ones start below 0xC2), surrogates, and
    // code points past Unicode's last.
    if ((length == 3 && code < 0x800) || (length == 4 && code < 0x10000) ||
        (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF)
        return {};
    return {code, length};
}

void AppendUtf16(std::u16string& out, char32_t code) {
    if (code >= 0x10000) {
        code -= 0x10000;
        out += static_cast<char16_t>(0xD800 + (code >> 10));
        out += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
    } else {
        out += static_cast<char16_t>(code);
    }
}

void AppendUtf8(std::string& out, char32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// The code point of the UTF-16 unit or pair at text[i] (i moved past a pair), or nothing for
// a lone surrogate.
std::optional<char32_t> CodeAt(std::u16string_view text, std::size_t& i) {
    const char32_t unit = text[i];
    if (unit < 0xD800 || unit > 0xDFFF) return unit;
    if (unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
        ++i;
        return 0x10000 + ((unit - 0xD800) << 10) + (text[i] - 0xDC00);
    }
    return std::nullopt;
}

} // namespace

bool IsUtf8(std::string_view text) {
    for (std::size_t at = 0; at < text.size();) {
        const Decoded decoded = DecodeAt(text, at);
        if (decoded.length == 0) return false;
        at += decoded.length;
    }
    return true;
}

std::optional<std::u16string> Utf8ToUtf16(std::string_view text) {
    std::u16string wide;
    wide.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const Decoded decoded = DecodeAt(text, at);
        if (decoded.length == 0) return std::nullopt;
        AppendUtf16(wide, decoded.code);
        at += decoded.length;
    }
    return wide;
}

std::u16string Utf8ToUtf16Replacing(std::string_view text) {
    std::u16string wide;
    wide.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const Decoded decoded = DecodeAt(text, at);
        AppendUtf16(wide, decoded.length == 0 ? kReplacement : decoded.code);
        at += decoded.length == 0 ? 1 : decoded.length;
    }
    return wide;
}

std::optional<std::string> Utf16ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const std::optional<char32_t> code = CodeAt(text, i);
        if (!code) return std::nullopt;
        AppendUtf8(out, *code);
    }
    return out;
}

std::string Utf16ToUtf8Replacing(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i)
        AppendUtf8(out, CodeAt(text, i).value_or(kReplacement));
    return out;
}

} // namespace quillax
