// The four speeds behind TELESCOPE_SLEW_RATE (Guide, Centering, Find, Max),
// chosen inside the ranges the hub's AxisRates offers for an axis.
#pragma once

#include <QList>

#include "celaris/dispatch/telescope_types.h"

namespace celaris::indi_driver {

// Sidereal rate, degrees per (SI) second.
inline constexpr double kSiderealDegPerSec = 15.0410686 / 3600.0;

// Guide 8x sidereal, Centering 64x sidereal, Find half the fastest, Max the
// fastest rate offered, each moved to the nearest rate the ranges contain
// and never slower than the step before. Empty when nothing above zero is
// offered (the axis cannot be moved by hand).
QList<double> SlewSteps(const AxisRates& rangesDegPerSec);

// The rate inside the ranges that is nearest to `wantedDegPerSec`.
double NearestOffered(const AxisRates& rangesDegPerSec, double wantedDegPerSec);

}  // namespace celaris::indi_driver
