// UTF-8, the text of files, command lines and HTTP, against UTF-16, the platform's wide text.
// One decoder for every part of the system: well-formed UTF-8 only, so an overlong form, an
// encoded surrogate, a code point past U+10FFFF or a truncated sequence never decodes to a
// character (it is refused, or replaced by U+FFFD where the caller asks for replacement).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quillax {

// Whether the bytes are well-formed UTF-8.
bool IsUtf8(std::string_view text);

// The text as UTF-16; nothing when it is not well-formed UTF-8.
std::optional<std::u16string> Utf8ToUtf16(std::string_view text);
// The same, each byte that starts no well-formed sequence replaced by U+FFFD.
std::u16string Utf8ToUtf16Replacing(std::string_view text);

// The text as UTF-8; nothing when it holds a lone surrogate.
std::optional<std::string> Utf16ToUtf8(std::u16string_view text);
// The same, each lone surrogate replaced by U+FFFD.
std::string Utf16ToUtf8Replacing(std::u16string_view text);

} // namespace quillax
