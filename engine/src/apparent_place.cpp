// J2000.0 mean place to the geocentric apparent place of an epoch and back.
//
// Against ERFA's IAU 2006/2000A apparent place (eraAtci13 and the equation of
// the origins) the result agrees to 0.45" from 1980 to 2050 (0.12" typical
// in 2025, 0.34" by 2100 as IAU 1976 precession drifts), except within 1.5
// degrees of the Sun, where there is no light deflection (0.5" at 0.93
// degrees), and within 0.2 degree of a pole of date (see ApplyAberration).
#include "reductions.h"

namespace trimcore::astro {

RaDec J2kToApparentAt(double T, double ra2k, double dec2k) {
    // Mean place of date.
    RaDec p = Precess(0.0, T, ra2k, dec2k);
    // True place of date.
    const double eps = MeanObliquity(T);
    p = ApplyNutation(NutationAngles(T), eps, p.ra, p.dec);
    // Apparent place.
    return ApplyAberration(T, eps, p.ra, p.dec);
}

RaDec ApparentToJ2kAt(double T, double ra, double dec) {
    const double eps = MeanObliquity(T);
    RaDec p{ra, dec};
    // Remove aberration and then nutation, each evaluated at the position in
    // hand and subtracted once.
    const RaDec aberrated = ApplyAberration(T, eps, p.ra, p.dec);
    p = {p.ra - (aberrated.ra - p.ra), p.dec - (aberrated.dec - p.dec)};
    const RaDec nutated = ApplyNutation(NutationAngles(T), eps, p.ra, p.dec);
    p = {p.ra - (nutated.ra - p.ra), p.dec - (nutated.dec - p.dec)};
    // Back to the mean place of J2000.0.
    return Precess(T, 0.0, p.ra, p.dec);
}

}  // namespace trimcore::astro
