// The astrometric members of ISVD. Each reads the system clock itself, so
// the epoch of a reduction is the moment of the call; the reductions for a
// given epoch are in reductions.h.
#pragma once

#include <cstdint>

namespace trimcore {

// J2000.0 mean place to the apparent place now, and back (radians). Right
// ascensions are not reduced to [0, 2pi) after nutation and aberration.
void J2kToApparent(double ra2k, double dec2k, double& ra, double& dec);
void ApparentToJ2k(double ra, double dec, double& ra2k, double& dec2k);
// Adds proper motion (radians per Julian century; dRA is the rate of right
// ascension itself, not times cos(dec)) from J2000.0 up to now.
void AddProperMotion(double dRA, double dDec, double& ra, double& dec);
// Local mean sidereal time now, hours [0, 24), for an east-positive
// longitude in radians.
double LocalSiderialTime(double longitude);
// The current UTC date and time to the second: years since 1900, month
// 0-11, day 1-31, hour, minute, second.
void UTCNow(int32_t& yr, int32_t& mon, int32_t& day, int32_t& hr, int32_t& min, int32_t& sec);

}  // namespace trimcore
