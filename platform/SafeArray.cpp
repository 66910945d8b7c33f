// One-dimensional safe arrays of fixed-size scalar elements. The element type is kept in
// front of the descriptor, where SafeArrayGetVartype finds it.
#include "platform/OleAuto.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

struct Block {
    VARTYPE vt;
    SAFEARRAY descriptor;
};

Block* BlockOf(SAFEARRAY* psa) {
    return reinterpret_cast<Block*>(reinterpret_cast<char*>(psa) - offsetof(Block, descriptor));
}

// Bytes per element, or 0 for a type that cannot live in these arrays.
ULONG ElementSize(VARTYPE vt) {
    switch (vt) {
    case VT_I1:
    case VT_UI1:
        return 1;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL:
        return 2;
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_R4:
    case VT_ERROR:
        return 4;
    case VT_R8:
    case VT_I8:
    case VT_UI8:
    case VT_DATE:
    case VT_CY:
        return 8;
    default:
        return 0;
    }
}

// Arrays larger than this are refused rather than attempted.
constexpr std::size_t kMaxArrayBytes = std::size_t{1} << 31;

} // namespace

SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT cDims, SAFEARRAYBOUND* rgsabound) {
    const ULONG size = ElementSize(vt);
    if (size == 0 || cDims != 1 || !rgsabound) return nullptr;
    const std::size_t bytes = std::size_t{rgsabound[0].cElements} * size;
    if (bytes > kMaxArrayBytes) return nullptr;
    auto* block = new (std::nothrow) Block{};
    if (!block) return nullptr;
    void* data = std::calloc(bytes ? bytes : 1, 1);
    if (!data) {
        delete block;
        return nullptr;
    }
    block->vt = vt;
    SAFEARRAY& sa = block->descriptor;
    sa.cDims = 1;
    sa.fFeatures = FADF_HAVEVARTYPE;
    sa.cbElements = size;
    sa.cLocks = 0;
    sa.pvData = data;
    sa.rgsabound[0] = rgsabound[0];
    return &sa;
}

SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements) {
    SAFEARRAYBOUND bound{cElements, lLbound};
    return SafeArrayCreate(vt, 1, &bound);
}

HRESULT SafeArrayAllocDescriptorEx(VARTYPE vt, UINT cDims, SAFEARRAY** ppsaOut) {
    if (!ppsaOut) return E_POINTER;
    *ppsaOut = nullptr;
    const ULONG size = ElementSize(vt);
    if (size == 0 || cDims != 1) return E_INVALIDARG;
    auto* block = new (std::nothrow) Block{};
    if (!block) return E_OUTOFMEMORY;
    block->vt = vt;
    block->descriptor.cDims = 1;
    block->descriptor.fFeatures = FADF_HAVEVARTYPE;
    block->descriptor.cbElements = size;
    *ppsaOut = &block->descriptor;
    return S_OK;
}

HRESULT SafeArrayDestroyDescriptor(SAFEARRAY* psa) {
    if (!psa) return S_OK;
    if (psa->cLocks > 0) return DISP_E_ARRAYISLOCKED;
    delete BlockOf(psa);
    return S_OK;
}

HRESULT SafeArrayDestroy(SAFEARRAY* psa) {
    if (!psa) return S_OK;
    if (psa->cLocks > 0) return DISP_E_ARRAYISLOCKED;
    if ((psa->fFeatures & FADF_STATIC) == 0) std::free(psa->pvData);
    delete BlockOf(psa);
    return S_OK;
}

HRESULT SafeArrayLock(SAFEARRAY* psa) {
    if (!psa) return E_INVALIDARG;
    if (psa->cLocks == 0xFFFF) return E_UNEXPECTED;
    ++psa->cLocks;
    return S_OK;
}

HRESULT SafeArrayUnlock(SAFEARRAY* psa) {
    if (!psa) return E_INVALIDARG;
    if (psa->cLocks == 0) return E_UNEXPECTED;
    --psa->cLocks;
    return S_OK;
}

HRESULT SafeArrayAccessData(SAFEARRAY* psa, void** ppvData) {
    if (!psa || !ppvData) return E_INVALIDARG;
    const HRESULT hr = SafeArrayLock(psa);
    *ppvData = SUCCEEDED(hr) ? psa->pvData : nullptr;
    return hr;
}

HRESULT SafeArrayUnaccessData(SAFEARRAY* psa) {
    return SafeArrayUnlock(psa);
}

HRESULT SafeArrayGetLBound(SAFEARRAY* psa, UINT nDim, LONG* plLbound) {
    if (!psa || !plLbound) return E_INVALIDARG;
    if (nDim != 1) return DISP_E_BADINDEX;
    *plLbound = psa->rgsabound[0].lLbound;
    return S_OK;
}

HRESULT SafeArrayGetUBound(SAFEARRAY* psa, UINT nDim, LONG* plUbound) {
    if (!psa || !plUbound) return E_INVALIDARG;
    if (nDim != 1) return DISP_E_BADINDEX;
    const auto& bound = psa->rgsabound[0];
    *plUbound = static_cast<LONG>(static_cast<LONGLONG>(bound.lLbound) + bound.cElements - 1);
    return S_OK;
}

UINT SafeArrayGetDim(SAFEARRAY* psa) {
    return psa ? psa->cDims : 0;
}

UINT SafeArrayGetElemsize(SAFEARRAY* psa) {
    return psa ? psa->cbElements : 0;
}

HRESULT SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* pvt) {
    if (!psa || !pvt) return E_INVALIDARG;
    *pvt = BlockOf(psa)->vt;
    return S_OK;
}

HRESULT SafeArrayCopy(SAFEARRAY* psa, SAFEARRAY** ppsaOut) {
    if (!ppsaOut) return E_INVALIDARG;
    *ppsaOut = nullptr;
    if (!psa) return S_OK;
    SAFEARRAY* copy = SafeArrayCreate(BlockOf(psa)->vt, 1, psa->rgsabound);
    if (!copy) return E_OUTOFMEMORY;
    std::memcpy(copy->pvData, psa->pvData,
                std::size_t{psa->rgsabound[0].cElements} * psa->cbElements);
    *ppsaOut = copy;
    return S_OK;
}
