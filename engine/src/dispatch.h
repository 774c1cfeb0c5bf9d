// Late-bound access to ISVD: names, dispatch ids, Invoke and type information.
#pragma once

#include "trimcore/isvd.h"

namespace trimcore {

// Case-insensitive; the first name is the member, the others its parameters.
HRESULT ISVDGetIDsOfNames(LPOLESTR* names, UINT count, DISPID* ids);

HRESULT ISVDInvoke(ISVD* object, DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result,
                   UINT* argErr);

// A new type-information object (reference count 1) answering
// GetDocumentation and GetNames for ISVD's members.
ITypeInfo* NewISVDTypeInfo();

}  // namespace trimcore
