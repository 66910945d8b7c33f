// Conversion between wide strings and the system's ANSI code page, Windows-1252. Every one
// of the 256 bytes widens to one character (the five bytes the code page leaves undefined
// widen to the control characters of the same value); a character without an equivalent
// byte narrows to "?" (a surrogate pair to a single "?").
#pragma once

#include "platform/OleAuto.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace quillax {

std::string WideToAnsi(const OLECHAR* text, std::size_t length);
std::string WideToAnsi(OleStringView text);
// A BSTR narrowed over its whole length (embedded zeros kept); null gives "".
std::string BstrToAnsi(BSTR text);
// As BstrToAnsi; lost tells whether any character had no equivalent byte and became "?".
std::string BstrToAnsi(BSTR text, bool& lost);

OleString AnsiToWide(std::string_view text);
// A new BSTR that the caller owns; null when memory runs out.
BSTR AnsiToBstr(std::string_view text);

// Single characters, for tables and tests.
OLECHAR AnsiCharToWide(unsigned char c);
// The byte for a character, or '?' when the code page has none.
char WideCharToAnsi(OLECHAR c);

} // namespace quillax
