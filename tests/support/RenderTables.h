// What many renders in the tests are made of: valid data for every symbology (with
// Checksum on, as the object renders it) and the image formats by name.
#pragma once

#include "engine/BarcodeEngine.h"

namespace quillax::test {

// Valid data for every symbology, by BarcodeType.
inline constexpr const char* kDataByType[kBarcodeTypeCount] = {
    "1234567890",   // 2 of 5 interleaved
    "12345",        // 2 of 5 industrial
    "12345",        // 2 of 5 matrix
    "CODE-39 $/+%", // Code 39
    "Code39 ext!",  // Code 39 Extended
    "CODE128A",     // Code 128 A
    "Code 128 b~",  // Code 128 B
    "12345678",     // Code 128 C
    "CODE-93",      // Code 93
    "Code93 ext?",  // Code 93 Extended
    "1234567",      // MSI
    "12345",        // PostNet
    "12-34$56:/.+", // Codabar
    "1234567",      // EAN-8
    "590123412345", // EAN-13
    "03600029145",  // UPC-A
    "123456",       // UPC-E0
    "123456",       // UPC-E1
    "12",           // UPC add-on 2
    "12345",        // UPC add-on 5
    "0123456789",   // EAN-128 A (with Checksum: digits only)
    "987654321",    // EAN-128 B
    "1234",         // EAN-128 C
    // Code 128 with its code sets chosen, GS1-128
    "Code128 auto 0012345678",
    "(01)09501101530003(17)250101(10)AB-12",
};

// The three formats as ImageTypeStr names them.
inline constexpr const char* kFormats[] = {"BMP", "PNG", "JPEG"};

} // namespace quillax::test
