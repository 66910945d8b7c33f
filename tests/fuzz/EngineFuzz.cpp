// Fuzz target: any settings and any text give a pattern of the twelve line characters whose
// measured width is the sum of its lines, or the engine's own error; nothing else.
#include "engine/BarcodeEngine.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

using namespace quillax;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    // Each build may normalise Text for the next one, so the width is measured on a twin.
    TBarcodeEngine engine, twin;
    for (TBarcodeEngine* e : {&engine, &twin}) {
        e->Typ = static_cast<TBarcodeType>(data[0] % (kBarcodeTypeCount + 2));
        e->Modul = static_cast<int8_t>(data[1]) % 40;
        e->Ratio = data[2] / 16.0;
        e->Checksum = (data[3] & 1) != 0;
        e->CheckSumMethod = static_cast<TCheckSumMethod>((data[3] >> 1) & 1);
        e->Text.assign(reinterpret_cast<const char*>(data + 4), size - 4);
    }

    try {
        const std::string pattern = engine.BuildPattern();
        int64_t sum = 0;
        for (char c : pattern) {
            int32_t width = 0;
            TLineKind kind{};
            engine.DecodePatternChar(c, width, kind); // raises on a character outside the twelve
            sum += width;
        }
        if (twin.GetWidth() != sum) std::abort();
    } catch (const Exception&) {
        // The engine's own errors are the expected outcome for unacceptable settings.
    }
    return 0;
}
