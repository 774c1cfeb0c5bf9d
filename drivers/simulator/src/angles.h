// Angle constants and folding used throughout the simulator (radians).
#pragma once

#include <cmath>

#include "celaris/units/angles.h"

namespace celaris::sim {

using units::kHalfPi;
using units::kPi;
using units::kTwoPi;
constexpr double kDegToRad = units::kDegreesToRadians;
constexpr double kRadToDeg = units::kRadiansToDegrees;
constexpr double kHoursToRad = units::kHoursToRadians;
constexpr double kRadToHours = units::kRadiansToHours;
constexpr double kArcsecToRad = kDegToRad / units::kArcSecondsPerDegree;

// Folds an angle into [0, 2 pi).
inline double WrapTwoPi(double a) {
    a = std::fmod(a, kTwoPi);
    return a < 0.0 ? a + kTwoPi : a;
}

// Folds an angle into (-pi, pi].
inline double WrapPi(double a) {
    a = WrapTwoPi(a);
    return a > kPi ? a - kTwoPi : a;
}

// An angle as hours in [0, 24): rounding must not give 24.
inline double RadToHours24(double a) {
    const double h = WrapTwoPi(a) * kRadToHours;
    return h < 24.0 ? h : 0.0;
}

// An hour angle or declination pair, radians.
struct HaDec {
    double ha = 0.0;
    double dec = 0.0;
};

}  // namespace celaris::sim
