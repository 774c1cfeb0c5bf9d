#include "celaris/com/safearray.h"

#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

#include "celaris/com/bstr.h"
#include "celaris/com/variant.h"

namespace {

// The variant type is kept in the 16 bytes before the descriptor, as Windows
// keeps it just in front of a FADF_HAVEVARTYPE array.
constexpr size_t kPrefix = 16;

ULONG ElementSize(VARTYPE vt) {
    switch (vt) {
        case VT_I1:
        case VT_UI1: return 1;
        case VT_I2:
        case VT_UI2:
        case VT_BOOL: return 2;
        case VT_I4:
        case VT_UI4:
        case VT_INT:
        case VT_UINT:
        case VT_R4:
        case VT_ERROR: return 4;
        case VT_I8:
        case VT_UI8:
        case VT_R8:
        case VT_CY:
        case VT_DATE: return 8;
        case VT_BSTR:
        case VT_UNKNOWN:
        case VT_DISPATCH: return sizeof(void*);
        case VT_VARIANT: return sizeof(VARIANT);
        default: return 0;
    }
}

USHORT FeaturesFor(VARTYPE vt) {
    USHORT f = FADF_HAVEVARTYPE;
    if (vt == VT_BSTR) f |= FADF_BSTR;
    if (vt == VT_UNKNOWN) f |= FADF_UNKNOWN;
    if (vt == VT_DISPATCH) f |= FADF_DISPATCH;
    if (vt == VT_VARIANT) f |= FADF_VARIANT;
    return f;
}

size_t ElementCount(const SAFEARRAY* psa) {
    size_t n = 1;
    for (USHORT i = 0; i < psa->cDims; ++i) n *= psa->rgsabound[i].cElements;
    return n;
}

}  // namespace

extern "C" {

SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT cDims, SAFEARRAYBOUND* rgsabound) {
    const ULONG size = ElementSize(vt);
    if (size == 0 || cDims == 0 || cDims > 0xFFFF || rgsabound == nullptr) return nullptr;
    // Refuse element counts whose byte size would overflow.
    size_t count = 1;
    for (UINT i = 0; i < cDims; ++i) {
        const size_t c = rgsabound[i].cElements;
        if (c != 0 && count > std::numeric_limits<size_t>::max() / size / c) return nullptr;
        count *= c;
    }
    const size_t header = kPrefix + sizeof(SAFEARRAY) + (cDims - 1) * sizeof(SAFEARRAYBOUND);
    auto* raw = static_cast<unsigned char*>(std::calloc(1, header));
    if (raw == nullptr) return nullptr;
    auto* psa = reinterpret_cast<SAFEARRAY*>(raw + kPrefix);
    std::memcpy(raw + kPrefix - 4, &vt, sizeof vt);
    psa->cDims = static_cast<USHORT>(cDims);
    psa->fFeatures = FeaturesFor(vt);
    psa->cbElements = size;
    psa->cLocks = 0;
    for (UINT i = 0; i < cDims; ++i) psa->rgsabound[cDims - 1 - i] = rgsabound[i];
    psa->pvData = std::calloc(count == 0 ? 1 : count, size);
    if (psa->pvData == nullptr) {
        std::free(raw);
        return nullptr;
    }
    return psa;
}

HRESULT SafeArrayDestroy(SAFEARRAY* psa) {
    if (psa == nullptr) return S_OK;
    if (psa->cLocks > 0) return DISP_E_ARRAYISLOCKED;
    const size_t n = ElementCount(psa);
    if (psa->fFeatures & FADF_BSTR) {
        auto* items = static_cast<BSTR*>(psa->pvData);
        for (size_t i = 0; i < n; ++i) SysFreeString(items[i]);
    } else if (psa->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) {
        auto* items = static_cast<IUnknown**>(psa->pvData);
        for (size_t i = 0; i < n; ++i)
            if (items[i] != nullptr) items[i]->Release();
    } else if (psa->fFeatures & FADF_VARIANT) {
        auto* items = static_cast<VARIANT*>(psa->pvData);
        for (size_t i = 0; i < n; ++i) VariantClear(&items[i]);
    }
    std::free(psa->pvData);
    std::free(reinterpret_cast<unsigned char*>(psa) - kPrefix);
    return S_OK;
}

UINT SafeArrayGetDim(SAFEARRAY* psa) { return psa == nullptr ? 0 : psa->cDims; }

HRESULT SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* pvt) {
    if (psa == nullptr || pvt == nullptr) return E_INVALIDARG;
    if (!(psa->fFeatures & FADF_HAVEVARTYPE)) return E_INVALIDARG;
    std::memcpy(pvt, reinterpret_cast<unsigned char*>(psa) - 4, sizeof *pvt);
    return S_OK;
}

HRESULT SafeArrayGetLBound(SAFEARRAY* psa, UINT nDim, LONG* plLbound) {
    if (psa == nullptr || plLbound == nullptr) return E_INVALIDARG;
    if (nDim < 1 || nDim > psa->cDims) return DISP_E_BADINDEX;
    *plLbound = psa->rgsabound[psa->cDims - nDim].lLbound;
    return S_OK;
}

HRESULT SafeArrayGetUBound(SAFEARRAY* psa, UINT nDim, LONG* plUbound) {
    if (psa == nullptr || plUbound == nullptr) return E_INVALIDARG;
    if (nDim < 1 || nDim > psa->cDims) return DISP_E_BADINDEX;
    const SAFEARRAYBOUND& b = psa->rgsabound[psa->cDims - nDim];
    *plUbound = static_cast<LONG>(static_cast<int64_t>(b.lLbound) + b.cElements - 1);
    return S_OK;
}

HRESULT SafeArrayAccessData(SAFEARRAY* psa, void** ppvData) {
    if (psa == nullptr || ppvData == nullptr) return E_INVALIDARG;
    ++psa->cLocks;
    *ppvData = psa->pvData;
    return S_OK;
}

HRESULT SafeArrayUnaccessData(SAFEARRAY* psa) {
    if (psa == nullptr) return E_INVALIDARG;
    if (psa->cLocks == 0) return E_UNEXPECTED;
    --psa->cLocks;
    return S_OK;
}

}  // extern "C"
