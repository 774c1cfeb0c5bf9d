// Angle constants and folding used throughout the simulator (radians).
#pragma once

#include <cmath>

namespace celaris::sim {

constexpr double kPi = 3.14159265358979323846;
constexpr double kTwoPi = 2.0 * kPi;
constexpr double kHalfPi = 0.5 * kPi;
constexpr double kDegToRad = kPi / 180.0;
constexpr double kHoursToRad = kPi / 12.0;
constexpr double kArcsecToRad = kDegToRad / 3600.0;

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
    const double h = WrapTwoPi(a) * (12.0 / kPi);
    return h < 24.0 ? h : 0.0;
}

// An hour angle or declination pair, radians.
struct HaDec {
    double ha = 0.0;
    double dec = 0.0;
};

}  // namespace celaris::sim
