// Sidereal time from UTC, without distinguishing UTC, UT1 and TT.
#pragma once

#include "angles.h"

namespace celaris::sim {

// Rate of mean sidereal time, radians per SI second (360.98564736629
// degrees per day): the sidereal tracking rate.
constexpr double kSiderealRateRadPerSec = 360.98564736629 / 86400.0 * kDegToRad;

// Greenwich mean sidereal time (IAU 1982 expression), radians in [0, 2 pi),
// for a UTC instant in seconds since 1970-01-01T00:00:00Z.
double GreenwichMeanSiderealTime(double unixSeconds);

// Local mean sidereal time, radians in [0, 2 pi); longitude east positive,
// radians.
double LocalMeanSiderealTime(double unixSeconds, double longitudeRad);

}  // namespace celaris::sim
