// The name an observation takes when no star names it: its UTC time, as
// "2004-03-05 22:13:09Z", from the engine's clock.
#pragma once

#include <QDateTime>
#include <QString>

#include "celaris/hub/engine_ref.h"

namespace celaris::calibration {

// The engine's UTC clock (UTCNow counts years from 1900 and months from 0).
// Raises when the engine fails.
QDateTime EngineUtcNow(hub::EngineRef& engine);

QString UtcObservationName(const QDateTime& utc);

}  // namespace celaris::calibration
