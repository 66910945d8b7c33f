// The property list of the hosts' help.
#include "apps/cli/PropertyHelp.h"

#include <algorithm>
#include <array>

namespace quillax::host {

namespace {

constexpr std::array<TPropertyHelp, 17> kProperties{{
    {"BarcodeType", "0-24 or a symbology name (quillax symbologies)", "14", "EAN13"},
    {"Data", "the text to encode; a page start keeps it", "", "empty"},
    {"Checksum", "True/False: add the check digit", "False", ""},
    {"ChecksumMethod", "0 none, 1 modulo 10", "1", ""},
    {"NarrowBarWidth", "pixels of the narrowest bar or space", "1", ""},
    {"Ratio", "wide-to-narrow width ratio, a whole number", "1", ""},
    {"Height", "pixels", "50", ""},
    {"Orientation", "degrees, counter-clockwise", "0", ""},
    {"ShowText", "True/False: print the text under the bars", "False", ""},
    {"BGColor", "colour of the spaces: #RRGGBB, 0xRRGGBB, &HBBGGRR or a number", "16777215",
     "white"},
    {"BarColor", "colour of the bars, spelt as BGColor", "0", "black"},
    {"ImageTypeStr", "BMP, PNG, JPG, JPEG or SVG, any case", "BMP", ""},
    {"ImageType", "1 JPEG, 2 BMP, 3 PNG, 4 SVG", "2", "BMP"},
    {"Layout", "0 classic, 1 standard: quiet zones, the symbology's own text line", "0", "classic"},
    {"QuietZone", "modules beside the bars in layout 1; -1 the symbology's own", "-1", ""},
    {"Resolution", "dots per inch recorded in the image; 0 none", "0", ""},
    {"XDimension", "millimetres of the narrow bar at Resolution (for NarrowBarWidth)", "0",
     "unused"},
}};

} // namespace

std::span<const TPropertyHelp> PropertyHelp() {
    return kProperties;
}

std::string PropertyHelpText() {
    std::size_t nameWidth = 0;
    std::size_t valuesWidth = 0;
    for (const TPropertyHelp& property : kProperties) {
        nameWidth = std::max(nameWidth, property.Name.size());
        valuesWidth = std::max(valuesWidth, property.Values.size());
    }
    std::string text;
    for (const TPropertyHelp& property : kProperties) {
        std::string line = "  " + std::string(property.Name);
        line.append(nameWidth - property.Name.size() + 2, ' ');
        line += property.Values;
        line.append(valuesWidth - property.Values.size() + 2, ' ');
        if (!property.Default.empty()) line += property.Default;
        if (!property.DefaultNote.empty())
            line += property.Default.empty() ? std::string(property.DefaultNote)
                                             : " (" + std::string(property.DefaultNote) + ")";
        text += line + "\n";
    }
    return text;
}

} // namespace quillax::host
