#include "wire_errors.h"

#include "celaris/dispatch/errors.h"
#include "celaris/drivers/alpaca/wire.h"

namespace celaris::alpaca {

int AlpacaErrorNumber(const dispatch::ComError& error) {
    using namespace dispatch;
    const bool own = error.source() == QLatin1String(kHubSource) ||
                     error.source() == QLatin1String(kScriptingSource);
    if (own) {
        switch (error.number()) {
            case kErrHubNotImplemented:
                return alpaca_wire::kNotImplemented;
            case kErrHubNotConnected:
                return alpaca_wire::kNotConnected;
            case kErrHubNoDriver:
                return alpaca_wire::kDriverError;
            case kErrIndexBounds:
            case kErrSlewLimits:
                return alpaca_wire::kInvalidValue;
            case kErrNoCorrection:
                return 0x501;
            default:
                break;
        }
    }
    // Anything without an Alpaca meaning (a failure of the program itself,
    // an automation error of a driver) is a plain driver-specific error.
    return alpaca_wire::GenericAlpacaNumber(error.number()).value_or(alpaca_wire::kDriverError);
}

}  // namespace celaris::alpaca
