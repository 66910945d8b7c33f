// minimal-host FILE: saves an EAN-13 barcode of 400638133393 (with its check digit) as a PNG
// file, creating the barcode object through the component's class factory as any host does.
//
//   with CMake:      see CMakeLists.txt beside this file
//   with pkg-config: c++ -std=c++20 minimal-host.cpp $(pkg-config --cflags --libs quillax)
#include <quillax/Quillax.h>

#include <cstdio>
#include <string>

namespace {

int Failed(const char* call, HRESULT hr) {
    std::fprintf(stderr, "minimal-host: %s failed (0x%08X)\n", call, static_cast<unsigned>(hr));
    return 1;
}

// Text for the object's string properties; an ASCII file name keeps this to a widening.
quillax::BStr Text(const std::string& ascii) {
    const std::u16string wide(ascii.begin(), ascii.end());
    return quillax::BStr(wide.c_str());
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: minimal-host FILE\n");
        return 2;
    }
    quillax::ComPtr<IClassFactory> factory;
    HRESULT hr = DllGetClassObject(CLSID_Quillax, IID_IClassFactory,
                                   reinterpret_cast<void**>(factory.GetAddressOf()));
    if (FAILED(hr)) return Failed("DllGetClassObject", hr);
    quillax::ComPtr<IQuillax> barcode;
    hr = factory->CreateInstance(nullptr, IID_IQuillax,
                                 reinterpret_cast<void**>(barcode.GetAddressOf()));
    if (FAILED(hr)) return Failed("CreateInstance", hr);

    // No page here: the object takes its defaults and saves to a file without a Response.
    if (FAILED(hr = barcode->OnStartPage(nullptr))) return Failed("OnStartPage", hr);
    barcode->put_BarcodeType(14); // EAN-13
    barcode->put_Data(Text("400638133393").Get());
    barcode->put_Checksum(VARIANT_TRUE);
    barcode->put_ImageTypeStr(Text("PNG").Get());

    LONG result = -1;
    if (FAILED(hr = barcode->SaveBarcode(Text(argv[1]).Get(), &result)))
        return Failed("SaveBarcode", hr);
    barcode->OnEndPage();
    if (result != 0) {
        std::fprintf(stderr, "minimal-host: rendering failed at step %d\n", int(result));
        return 1;
    }
    return 0;
}
