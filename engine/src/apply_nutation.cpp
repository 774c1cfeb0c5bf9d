// Mean place of date to true place of date.
#include <algorithm>
#include <cmath>

#include "reductions.h"

namespace trimcore::astro {

namespace {
// Near the celestial poles the first-order formulae multiply by tan(dec);
// from this declination on (about 88.2 degrees) the rotation is done
// rigorously through the ecliptic.
constexpr double kRigorousDec = 1.54;
}  // namespace

RaDec EclipticRotate(double ra, double dec, double theta) {
    const double sinA = std::sin(ra), cosA = std::cos(ra);
    const double sinD = std::sin(dec), cosD = std::cos(dec);
    const double sinT = std::sin(theta), cosT = std::cos(theta);
    double raOut = std::atan2(sinA * cosD * cosT - sinD * sinT, cosD * cosA);
    if (raOut < 0.0) raOut += kTwoPi;
    // Rounding can carry the sine a hair beyond 1 next to a pole.
    const double sinDOut = std::clamp(sinA * cosD * sinT + cosT * sinD, -1.0, 1.0);
    return {raOut, std::asin(sinDOut)};
}

RaDec ApplyNutation(const Nutation& n, double eps, double ra, double dec) {
    if (std::fabs(dec) >= kRigorousDec) {
        // To the ecliptic of date with the mean obliquity, along it by the
        // nutation in longitude, back with the true obliquity.
        const RaDec ecl = EclipticRotate(ra, dec, -eps);
        return EclipticRotate(ecl.ra + n.dpsi, ecl.dec, eps + n.deps);
    }
    const double sinA = std::sin(ra), cosA = std::cos(ra), tanD = std::tan(dec);
    const double sinE = std::sin(eps), cosE = std::cos(eps);
    return {ra + n.dpsi * (cosE + sinE * sinA * tanD) - n.deps * cosA * tanD,
            dec + n.dpsi * sinE * cosA + n.deps * sinA};
}

}  // namespace trimcore::astro
