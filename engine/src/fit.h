// Observations and the least-squares fit of the model terms.
#pragma once

#include <cstdint>
#include <span>

#include "engine_state.h"
#include "svdcmp.h"

namespace trimcore {

// The text shown when the decomposition of the fit does not converge.
inline constexpr const char* kNoConvergenceMessage = "no convergence in 30 svdcmp iterations";

// Reduces one observation (hour angles and declinations in radians, the scope
// position as the mount reported it, refraction included) and stores it under
// the next number. Returns false, and changes nothing, when all 999 slots are
// taken.
bool AddObservation(EngineState& s, double haTrue, double decTrue, double haScope, double decScope);

// The number of terms the next fit solves for: 8 for a full model, 4 for a
// recalibration, 2 for a recalibration of a fixed installation.
int FittedTermCount(const EngineState& s);

// The least-squares system of the next fit for the first m terms: the
// 2n x m design matrix (column-major; row 2i is the hour-angle equation and
// row 2i + 1 the declination equation of observation i + 1) and the
// right-hand side, true minus scope less the effect of the terms held at
// their values. design holds 2n * m values, y 2n.
void DesignSystem(const EngineState& s, int m, std::span<double> design, std::span<double> y);

// Fits the first FittedTermCount terms to the stored observations by least
// squares, holding the others, and stores each observation's residuals and
// the fit's statistics (s.statistics).
// maxSweeps is the decomposition's iteration limit (a seam for tests).
void FitTerms(EngineState& s, int maxSweeps = kSvdMaxSweeps);

// Residual of observation index (1-based) as a right-ascension error and a
// declination error, radians; 0, 0 outside 1 ... count.
void GetObservationError(const EngineState& s, int32_t index, double& raError, double& decError);

}  // namespace trimcore
