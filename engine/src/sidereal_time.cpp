// Greenwich and local mean sidereal time (IAU 1982 expression).
#include "reductions.h"

namespace trimcore::astro {

namespace {
// Degrees and powers of T. The rate is 360.98564736629 degrees a day
// expressed per Julian century.
constexpr double kMeanSiderealDeg[] = {280.46061837, 13185000.770053742, 0.000387933,
                                       -1.0 / 38710000.0};
}  // namespace

double MeanSiderealTime(double T) {
    return NormalizeAngle(kDegToRad * Polynomial(kMeanSiderealDeg, 3, T));
}

double LocalSiderialTimeAt(double T, double longitude) {
    return NormalizeAngle(MeanSiderealTime(T) + longitude) * (180.0 / kPi) / 15.0;
}

}  // namespace trimcore::astro
