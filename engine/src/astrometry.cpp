#include "astrometry.h"

namespace trimcore {

// Placeholders until the astrometric reductions land: positions pass
// through unchanged.
void J2kToApparent(double ra2k, double dec2k, double& ra, double& dec) {
    ra = ra2k;
    dec = dec2k;
}
void ApparentToJ2k(double ra, double dec, double& ra2k, double& dec2k) {
    ra2k = ra;
    dec2k = dec;
}
void AddProperMotion(double, double, double&, double&) {}
double LocalSiderialTime(double) { return 0.0; }
void UTCNow(int32_t& yr, int32_t& mon, int32_t& day, int32_t& hr, int32_t& min, int32_t& sec) {
    yr = mon = day = hr = min = sec = 0;
}

}  // namespace trimcore
