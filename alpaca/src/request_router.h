// Where a request goes, decided on the network thread before anything
// reaches the hub: malformed requests (bad path, unknown member, missing or
// unparsable parameter) are refused here with HTTP 400, coordinates and
// other values outside their range with InvalidValue, and only a call that
// passed every check goes on to the hub.
#pragma once

#include <optional>
#include <string>

#include "api_request.h"

namespace celaris::alpaca {

struct Routed {
    enum class Kind {
        BadRequest,    // 400, text = reason
        NotFound,      // 404, text = reason
        Redirect,      // 302, text = where
        InvalidValue,  // Alpaca 0x401, text = message
        Device,        // call
        ApiVersions,   // management
        Description,
        ConfiguredDevices,
        SetupPage,  // HTML from the hub's state
    };
    Kind kind = Kind::BadRequest;
    std::string text;
    Transaction ids;
    DeviceCall call;
    // The answer of an InvalidValue on a GET member carries a Value.
    const alpaca_wire::Member* member = nullptr;
};

Routed Route(const ApiRequest& request);

// The ids of a request into ids; the reason when one of them is sent but
// is not a 32-bit unsigned number.
std::optional<std::string> ReadIds(const FormFields& fields, bool anyCase, Transaction& ids);

}  // namespace celaris::alpaca
