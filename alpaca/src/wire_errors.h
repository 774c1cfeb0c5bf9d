// The Alpaca error number of an error raised inside the program. Alpaca
// clients act on the number, so the program's own errors go out under the
// number that carries their meaning; a driver's errors go by the generic
// rule only (0x80040000 + n -> n), so that a driver's ValueNotSet, which has
// the same number as the hub's "Telescope not connected.", stays ValueNotSet.
#pragma once

#include "celaris/dispatch/com_error.h"

namespace celaris::alpaca {

int AlpacaErrorNumber(const dispatch::ComError& error);

}  // namespace celaris::alpaca
