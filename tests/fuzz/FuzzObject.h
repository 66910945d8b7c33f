// The barcode object for the fuzz targets that drive it in process: made by the class factory
// that the object library enters in the server's list, as a host gets it.
#pragma once

#include "hosting/ComServ.h"
#include "hosting/Kemrin_Quillax_TLB.h"

#include <cstdio>
#include <cstdlib>

namespace quillax::fuzz {

[[noreturn]] inline void Fail(const char* target, const char* what, long value = 0) {
    std::fprintf(stderr, "%s: %s (0x%08lx)\n", target, what, value);
    std::abort();
}

inline ComPtr<IDispatch> NewBarcodeObject() {
    ComPtr<IClassFactory> factory;
    if (FAILED(ComServer().GetClassObject(CLSID_Quillax, IID_IClassFactory,
                                          reinterpret_cast<void**>(factory.GetAddressOf()))))
        Fail("fuzz", "no class factory");
    ComPtr<IDispatch> object;
    if (FAILED(factory->CreateInstance(nullptr, IID_IDispatch,
                                       reinterpret_cast<void**>(object.GetAddressOf()))))
        Fail("fuzz", "no object");
    return object;
}

// Once every object made in an input is released, the server counts none.
inline void CheckNoObjectLeft(const char* target) {
    if (const LONG live = ComServer().ObjectCount(); live != 0)
        Fail(target, "objects outlive their last reference", live);
}

} // namespace quillax::fuzz
