// VARIANT life cycle.
#pragma once

#include "celaris/com/types.h"

extern "C" {
void VariantInit(VARIANT* pvarg);
// Frees what the variant owns (string, array, interface) and empties it.
HRESULT VariantClear(VARIANT* pvarg);
}
