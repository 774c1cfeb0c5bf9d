// Astrometric reductions and time, read against the system clock.
#pragma once

#include <cstdint>

namespace trimcore {

// J2000.0 mean place to apparent place now, and back (radians).
void J2kToApparent(double ra2k, double dec2k, double& ra, double& dec);
void ApparentToJ2k(double ra, double dec, double& ra2k, double& dec2k);
// Adds proper motion (radians per century) from J2000.0 up to now.
void AddProperMotion(double dRA, double dDec, double& ra, double& dec);
// Local sidereal time now, hours, for an east-positive longitude in radians.
double LocalSiderialTime(double longitude);
// The current UTC date and time.
void UTCNow(int32_t& yr, int32_t& mon, int32_t& day, int32_t& hr, int32_t& min, int32_t& sec);

}  // namespace trimcore
