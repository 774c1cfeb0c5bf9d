// Observations and the least-squares fit of the model terms.
#pragma once

#include <cstdint>

#include "engine_state.h"

namespace trimcore {

// Reduces one observation and stores it under the next number. Returns false
// (and changes nothing) when all 999 slots are taken.
bool AddObservation(EngineState& s, double haTrue, double decTrue, double haScope,
                    double decScope);

// Fits the active terms to the stored observations (FitTerms) and stores the
// residuals.
void FitTerms(EngineState& s);

// Residual of observation index (1-based) as a right-ascension error and a
// declination error; 0, 0 outside 1 ... count.
void GetObservationError(const EngineState& s, int32_t index, double& raError, double& decError);

}  // namespace trimcore
