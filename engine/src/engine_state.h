// The state of one engine object, declared in its documented order.
#pragma once

#include <cstdint>

namespace trimcore {

// One stored observation, after the reduction in AddObservation: all radians,
// on the observation's side of the pier, refraction removed from the scope
// position.
struct ObservationRecord {
    double scopeDec;
    double scopeHA;
    double trueDec;
    double trueHA;  // within pi of scopeHA
};

// Residuals of one observation after the last fit, in its stored frame.
struct ResidualRecord {
    double haResidual;
    double decResidual;
};

// Slots 1 ... 999 hold observations; slot 0 is never used.
constexpr int kObservationSlots = 1000;
constexpr int kMaxObservations = kObservationSlots - 1;

// What the last fit determined, for IFitStatistics. Terms are indexed by
// their interface number less one.
constexpr int kStatisticsTerms = 9;
struct FitStatistics {
    int32_t observations = 0;
    int32_t fittedTerms = 0;
    uint8_t fitted[kStatisticsTerms] = {};
    double sigma = 0.0;  // radians
    // sigma^2 (A^T A)^-1, radians^2; +-infinity where the fit left a
    // combination of terms undetermined.
    double covariance[kStatisticsTerms][kStatisticsTerms] = {};
};

struct EngineState {
    ResidualRecord residuals[kObservationSlots] = {};
    uint8_t applyCorrections = 1;
    int32_t inverted = 0;
    double temperature = 0.0;  // degrees Celsius
    double pressure = 0.0;     // kPa
    ObservationRecord observations[kObservationSlots] = {};
    uint8_t fixedInstallation = 0;
    uint8_t recalibrationMode = 0;  // FitMode: set for Recalibration, clear for FullModel
    int32_t count = 0;
    // The nine model terms, radians.
    double decFlex = 0.0;
    double forkFlex = 0.0;
    double tubeFlex = 0.0;
    double axisNonPerp = 0.0;
    double collimation = 0.0;
    double polarVertical = 0.0;
    double polarLeftRight = 0.0;
    double decOffset = 0.0;
    double hOffset = 0.0;
    double latitude = 0.0;  // radians, north positive
    uint8_t german = 0;
    // Not among the documented members: kept after them so those keep their
    // order.
    FitStatistics statistics;
};

// Reset: count to 0, the nine terms to 0 and the last fit's statistics
// cleared; nothing else changes.
void ResetState(EngineState& s);
// Calibrate: Reset, then FitMode FullModel.
void CalibrateState(EngineState& s);
// Recalibrate: empties the list, FitMode Recalibration, clears the offsets
// (and, unless the installation is fixed, the polar terms) and the last fit's
// statistics; the other five terms are held in the next fit.
void RecalibrateState(EngineState& s, bool fixedInstallation);

}  // namespace trimcore
