// quillax_read FILE: what an independent reader finds in an image file, for the script tests:
// "WIDTHxHEIGHT FORMAT TEXT" (FORMAT "none" and no text when nothing is read).
#include "tests/support/ImageFiles.h"

#include <ZXing/ReadBarcode.h>

#include <iostream>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: quillax_read FILE\n";
        return 2;
    }
    try {
        using namespace quillax::test;
        const std::vector<uint8_t> bytes = ReadFileBytes(argv[1]);
        const std::string magic(bytes.begin(), bytes.begin() + std::min<size_t>(bytes.size(), 2));
        const TRgbImage image = magic == "BM"         ? DecodeBmp(bytes)
                                : magic == "\xFF\xD8" ? DecodeJpeg(bytes)
                                                      : DecodePng(bytes);
        // White around the image, as on the page it is printed on.
        const TRgbImage padded = image.Padded(40);
        const std::vector<uint8_t> gray = padded.Gray();
        const ZXing::ImageView view(gray.data(), padded.Width, padded.Height,
                                    ZXing::ImageFormat::Lum);
        const ZXing::Result result =
            ZXing::ReadBarcode(view, ZXing::DecodeHints().setTryHarder(true));
        std::cout << image.Width << 'x' << image.Height << ' ';
        if (result.isValid())
            std::cout << ZXing::ToString(result.format()) << ' ' << result.text() << '\n';
        else
            std::cout << "none\n";
        return 0;
    } catch (const std::exception& e) {
        std::cerr << "quillax_read: " << argv[1] << ": " << e.what() << '\n';
        return 1;
    }
}
