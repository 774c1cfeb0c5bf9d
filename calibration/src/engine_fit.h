// What the engine says of its last fit, through its statistics interface.
#pragma once

#include "celaris/calibration/fit_statistics.h"
#include "celaris/hub/engine_ref.h"

namespace celaris::calibration {

// Zeros when the engine has no statistics of a fit.
EngineFit ReadEngineFit(hub::EngineRef& engine);

}  // namespace celaris::calibration
