// Length-prefixed UTF-16 strings as COM passes them.
#pragma once

#include <string>
#include <string_view>

#include "celaris/com/types.h"

extern "C" {
BSTR SysAllocString(const OLECHAR* psz);
BSTR SysAllocStringLen(const OLECHAR* pch, UINT cch);
void SysFreeString(BSTR bstr);
UINT SysStringLen(BSTR bstr);
}

namespace celaris::com {
std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);
inline BSTR AllocBstr(std::u16string_view s) {
    return SysAllocStringLen(s.data(), static_cast<UINT>(s.size()));
}
}  // namespace celaris::com
