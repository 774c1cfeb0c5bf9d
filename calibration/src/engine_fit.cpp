#include "engine_fit.h"

namespace celaris::calibration {

EngineFit ReadEngineFit(hub::EngineRef&) {
    return {};
}

}  // namespace celaris::calibration
