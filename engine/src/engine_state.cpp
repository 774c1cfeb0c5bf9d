#include "engine_state.h"

namespace trimcore {

void ResetState(EngineState& s) {
    s.count = 0;
    s.decFlex = s.forkFlex = s.tubeFlex = s.axisNonPerp = s.collimation = 0.0;
    s.polarVertical = s.polarLeftRight = s.decOffset = s.hOffset = 0.0;
    s.statistics = {};
}

void CalibrateState(EngineState& s) {
    ResetState(s);
    s.recalibrationMode = 0;
}

void RecalibrateState(EngineState& s, bool fixedInstallation) {
    s.count = 0;
    s.statistics = {};
    s.recalibrationMode = 1;
    s.hOffset = 0.0;
    s.decOffset = 0.0;
    s.fixedInstallation = fixedInstallation ? 1 : 0;
    if (!fixedInstallation) {
        s.polarVertical = 0.0;
        s.polarLeftRight = 0.0;
    }
}

}  // namespace trimcore
