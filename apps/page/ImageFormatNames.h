// The image formats the hosts accept: the names ImageTypeStr may take on the command line, in
// batch and on the web host, and the file name extensions that pick a format for `-o` and a
// batch row's file. The object itself takes any name (anything unknown is BMP) for scripts;
// these hosts refuse a name that no writer has instead of silently writing a BMP.
#pragma once

#include "apps/page/ComponentHost.h"

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quillax::host {

// "BMP, PNG, JPG, JPEG or SVG": the names ImageTypeStr accepts (in any case).
std::string AcceptedImageFormatNames();

// The settings with the image format checked and, for a file, taken from its name:
// - ImageTypeStr (its name in any case) must be one of the accepted names;
// - a fileName whose extension names a format (.bmp, .png, .jpg, .jpeg, .svg, any case) sets
//   ImageTypeStr to it when neither ImageTypeStr nor ImageType gives one, and contradicts
//   one that names another format;
// - any other extension, or none, leaves the format to the settings.
// Raises EUsageError for a name that is not accepted and for a contradiction.
std::vector<TPropertySetting> WithCheckedImageFormat(std::span<const TPropertySetting> settings,
                                                     std::string_view fileName = {});

} // namespace quillax::host
