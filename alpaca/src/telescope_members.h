// Each member of the Alpaca Telescope device as a call of the hub's
// Telescope object, with its result as the answer's JSON Value. Runs on the
// hub's thread; every failure is the Telescope's ComError.
#pragma once

#include <QJsonValue>

#include "api_request.h"
#include "celaris/hub/telescope.h"

namespace celaris::alpaca {

// Calls the member; a member without a Value (PUT) returns Undefined.
QJsonValue InvokeMember(hub::Telescope& telescope, const DeviceCall& call);

}  // namespace celaris::alpaca
