// The independent reader (zxing-cpp) and encoder (Zint) that the engine's symbols are held
// against: a pattern drawn one pixel row per line width with quiet zones and read back, and
// the modules Zint would draw for the same data.
#pragma once

#include "EngineTestSupport.h"

#define ZX_USE_UTF8 // text() as UTF-8
#include <ZXing/ReadBarcode.h>
#include <zint.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace quillax::oracle {

inline constexpr int kModul = 2;
inline constexpr int kQuietZone = 24; // pixels on each side
inline constexpr int kRows = 40;

// One row of pixels (0 black, 255 white) for the engine's pattern.
inline std::vector<uint8_t> RowOf(TBarcodeEngine& e) {
    const std::string pattern = e.BuildPattern();
    std::vector<uint8_t> row(kQuietZone, 255);
    for (char c : pattern) {
        int32_t width;
        TLineKind kind;
        e.DecodePatternChar(c, width, kind);
        row.insert(row.end(), width, kind == TLineKind::lkSpace ? 255 : 0);
    }
    return row;
}

inline ZXing::Result ReadResult(std::vector<uint8_t> row, ZXing::BarcodeFormat format,
                                ZXing::DecodeHints hints = {}) {
    row.insert(row.end(), kQuietZone, 255);
    std::vector<uint8_t> image;
    for (int y = 0; y < kRows; ++y)
        image.insert(image.end(), row.begin(), row.end());
    hints.setFormats(format);
    const ZXing::ImageView view(image.data(), static_cast<int>(row.size()), kRows,
                                ZXing::ImageFormat::Lum);
    return ZXing::ReadBarcode(view, hints);
}

inline std::string Read(std::vector<uint8_t> row, ZXing::BarcodeFormat format,
                        ZXing::DecodeHints hints = {}) {
    const ZXing::Result result = ReadResult(std::move(row), format, hints);
    return result.isValid() ? result.text() : "(not read)";
}

// The bytes read, before any guess at their character set.
inline std::string ReadBytes(std::vector<uint8_t> row, ZXing::BarcodeFormat format) {
    const ZXing::Result result = ReadResult(std::move(row), format);
    if (!result.isValid()) return "(not read)";
    return std::string(result.bytes().begin(), result.bytes().end());
}

// The pattern at one pixel per module: '1' for a bar module, '0' for a space module.
inline std::string ModulesOf(TBarcodeEngine& e) {
    e.Modul = 1;
    std::string modules;
    for (char c : e.BuildPattern()) {
        int32_t width;
        TLineKind kind;
        e.DecodePatternChar(c, width, kind);
        modules.append(width, kind == TLineKind::lkSpace ? '0' : '1');
    }
    return modules;
}

// Zint's first row of modules for the text, or its error; inputMode GS1_MODE reads an
// element string in square brackets, and option2 is the symbology's second option (for EAN/UPC
// the gap before an add-on, in modules).
inline std::string ZintModules(int symbology, const std::string& text, int inputMode = 0,
                               int option2 = 0) {
    std::unique_ptr<zint_symbol, decltype(&ZBarcode_Delete)> symbol(ZBarcode_Create(),
                                                                    ZBarcode_Delete);
    symbol->symbology = symbology;
    symbol->input_mode = inputMode;
    symbol->option_2 = option2;
    if (ZBarcode_Encode(symbol.get(), reinterpret_cast<const unsigned char*>(text.data()),
                        static_cast<int>(text.size())) >= ZINT_ERROR)
        return std::string("(zint: ") + symbol->errtxt + ")";
    std::string modules;
    for (int x = 0; x < symbol->width; ++x)
        modules += (symbol->encoded_data[0][x / 8] >> (x % 8)) & 1 ? '1' : '0';
    return modules;
}

} // namespace quillax::oracle
