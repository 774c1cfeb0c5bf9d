// Angles on the sky that the pick list, the sky map and the automatic
// calibration share: the distance between two positions, the arc cosine in
// the program's form, and whether a position is above the site's horizon
// profile. All angles in radians.
#pragma once

#include <array>

#include "celaris/profile/settings.h"

namespace celaris::hub {
class Hub;
}

namespace celaris::catalogue {

// A position counts as above the horizon down to 0.01 degree below it, so
// that rounding never drops a star that stands on the line.
inline constexpr double kHorizonMarginRad = 0.00017453292519943277;

using HorizonProfile = std::array<double, profile::kHorizonPoints>;

// |arccos(cos(ra2 - ra1) cos dec1 cos dec2 + sin dec1 sin dec2)|.
double ArcLength(double ra1, double dec1, double ra2, double dec2);

// pi/2 + arctan(-x / sqrt(1 - x^2)); pi for x = -1 and 0 for x = 1. Outside
// [-1, 1] the result is not a number.
double ArcCos(double x);

// The horizon altitude at an azimuth (from north through east, [0, 2pi)):
// linear between the two neighbouring profile points, which stand every
// 22.5 degrees from north; the last point joins the first at 360 degrees.
double HorizonAltitude(const HorizonProfile& horizon, double azRad);

// The position is at least HorizonAltitude - kHorizonMarginRad high, at the
// hub's site and its last sidereal time (Hub::SiderealAngle).
bool AboveHorizon(hub::Hub& hub, double raRad, double decRad);

}  // namespace celaris::catalogue
