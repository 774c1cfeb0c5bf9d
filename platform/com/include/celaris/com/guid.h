// Text form of GUIDs: "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper case.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "celaris/com/types.h"

namespace celaris::com {

std::string GuidToString(const GUID& g);
// Accepts the form with or without braces, any letter case.
std::optional<GUID> GuidFromString(std::string_view text);

}  // namespace celaris::com
