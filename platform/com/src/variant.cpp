#include "celaris/com/variant.h"

#include <cstring>

#include "celaris/com/bstr.h"
#include "celaris/com/safearray.h"

extern "C" {

void VariantInit(VARIANT* pvarg) {
    if (pvarg != nullptr) std::memset(pvarg, 0, sizeof *pvarg);
}

HRESULT VariantClear(VARIANT* pvarg) {
    if (pvarg == nullptr) return E_INVALIDARG;
    // By-reference variants own nothing.
    if (!(pvarg->vt & VT_BYREF)) {
        if (pvarg->vt & VT_ARRAY) {
            const HRESULT hr = SafeArrayDestroy(pvarg->parray);
            if (FAILED(hr)) return hr;
        } else if (pvarg->vt == VT_BSTR) {
            SysFreeString(pvarg->bstrVal);
        } else if ((pvarg->vt == VT_UNKNOWN || pvarg->vt == VT_DISPATCH) &&
                   pvarg->punkVal != nullptr) {
            pvarg->punkVal->Release();
        }
    }
    VariantInit(pvarg);
    return S_OK;
}

}  // extern "C"
