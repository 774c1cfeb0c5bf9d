// Annual aberration from a low-precision Sun, elliptic terms included.
#include <cmath>

#include "reductions.h"

namespace trimcore::astro {

namespace {
constexpr double kAberrationConstant = 20.49552 * kArcsecToRad;  // kappa
// Degrees and powers of T.
constexpr double kSunMeanLongitude[] = {280.46646, 36000.76983, 0.0003032};
constexpr double kSunMeanAnomaly[] = {357.5291, 35999.05028, -0.0001561};
constexpr double kEccentricity[] = {0.016708617, -0.00004204, -1.236e-7};
constexpr double kPerihelion[] = {102.93735, 1.71954, 0.00046};
}  // namespace

SunPosition SunLongitude(double T) {
    const double l0 = Polynomial(kSunMeanLongitude, 2, T) * kDegToRad;
    const double m = Polynomial(kSunMeanAnomaly, 2, T) * kDegToRad;
    const double e = Polynomial(kEccentricity, 2, T);
    // Equation of the centre as a series in e.
    const double c = e * (2.0 - e * e / 4.0) * std::sin(m) + 1.25 * e * e * std::sin(2.0 * m) +
                     1.0833333333 * e * e * e * std::sin(3.0 * m);
    return {l0 + c, e};
}

RaDec ApplyAberration(double T, double eps, double ra, double dec) {
    const SunPosition sun = SunLongitude(T);
    const double perihelion = Polynomial(kPerihelion, 2, T) * kDegToRad;
    // The Earth's velocity direction, with the constant elliptic part
    // pointing along the line of apsides.
    const double c = std::cos(sun.longitude) - sun.eccentricity * std::cos(perihelion);
    const double s = std::sin(sun.longitude) - sun.eccentricity * std::sin(perihelion);
    const double sinA = std::sin(ra), cosA = std::cos(ra);
    const double sinD = std::sin(dec), cosD = std::cos(dec);
    const double sinE = std::sin(eps), cosE = std::cos(eps);
    const double k = kAberrationConstant;
    return {ra - k * (c * cosA * cosE + s * sinA) / cosD,
            dec - k * (c * (cosD * sinE - cosE * sinA * sinD) + s * cosA * sinD)};
}

}  // namespace trimcore::astro
