// Colours as people write them on the web and in style sheets, for BGColor and BarColor: the
// hosts take "#RRGGBB" and "0xRRGGBB" (red first) beside what the object itself reads, a
// number whose lowest byte is red (decimal, or &HBBGGRR as a script writes it).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quillax::host {

// Whether the property (its name in any case) holds a colour.
bool IsColourProperty(std::string_view name);

// A colour as the object reads it: "#RRGGBB" (six hexadecimal digits) and "0xRRGGBB" (one to
// six) become the decimal number of 0x00BBGGRR; anything else is left to the object as it is.
// Raises EUsageError for a "#" or "0x" value that is not such a colour, naming property.
std::string ColourValue(std::string_view property, std::string_view value);

} // namespace quillax::host
