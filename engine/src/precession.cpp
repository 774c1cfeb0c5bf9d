// Rigorous precession between two epochs (IAU 1976, Lieske et al. 1977).
#include <algorithm>
#include <cmath>

#include "reductions.h"

namespace trimcore::astro {

PrecessionAngles PrecessionAnglesBetween(double T0, double T1) {
    const double t = T1 - T0;
    // Rate at the starting epoch, arc seconds per century.
    const double w = 2306.2181 + 1.39656 * T0 - 0.000139 * T0 * T0;
    const double zeta = w * t + (0.30188 - 0.000344 * T0) * t * t + 0.017998 * t * t * t;
    const double z = w * t + (1.09468 + 0.000066 * T0) * t * t + 0.018203 * t * t * t;
    const double theta = (2004.3109 - 0.8533 * T0 - 0.000217 * T0 * T0) * t -
                         (0.42665 + 0.000217 * T0) * t * t - 0.041833 * t * t * t;
    return {zeta * kArcsecToRad, z * kArcsecToRad, theta * kArcsecToRad};
}

RaDec Precess(double T0, double T1, double ra, double dec) {
    const PrecessionAngles p = PrecessionAnglesBetween(T0, T1);
    const double sinT = std::sin(p.theta), cosT = std::cos(p.theta);
    const double sinD = std::sin(dec), cosD = std::cos(dec);
    const double sinAZ = std::sin(ra + p.zeta), cosAZ = std::cos(ra + p.zeta);
    const double a = cosD * sinAZ;
    const double b = cosT * cosD * cosAZ - sinT * sinD;
    // Rounding can carry the sine a hair beyond 1 next to a pole.
    const double c = std::clamp(sinT * cosD * cosAZ + cosT * sinD, -1.0, 1.0);
    double raOut = std::atan2(a, b) + p.z;
    if (raOut < 0.0) raOut += kTwoPi;
    return {raOut, std::asin(c)};
}

}  // namespace trimcore::astro
