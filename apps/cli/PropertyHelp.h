// The barcode object's properties as the hosts document them: `quillax render --help` and
// the man page list each with its values and its default after a page start.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace quillax::host {

struct TPropertyHelp {
    std::string_view Name;
    std::string_view Values;
    std::string_view Default;     // as the object's getter gives it, converted to text
    std::string_view DefaultNote; // what the default means, or empty
};

// Every property of the object, in the order a person sets them.
std::span<const TPropertyHelp> PropertyHelp();

// The list for a help text, one property a line.
std::string PropertyHelpText();

} // namespace quillax::host
