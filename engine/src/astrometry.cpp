#include "astrometry.h"

#include "reductions.h"

namespace trimcore {

void J2kToApparent(double ra2k, double dec2k, double& ra, double& dec) {
    const astro::RaDec p = astro::J2kToApparentAt(astro::CurrentCenturies(), ra2k, dec2k);
    ra = p.ra;
    dec = p.dec;
}

void ApparentToJ2k(double ra, double dec, double& ra2k, double& dec2k) {
    const astro::RaDec p = astro::ApparentToJ2kAt(astro::CurrentCenturies(), ra, dec);
    ra2k = p.ra;
    dec2k = p.dec;
}

void AddProperMotion(double dRA, double dDec, double& ra, double& dec) {
    const double T = astro::CurrentCenturies();
    ra += T * dRA;
    dec += T * dDec;
}

double LocalSiderialTime(double longitude) {
    return astro::LocalSiderialTimeAt(astro::CurrentCenturies(), longitude);
}

void UTCNow(int32_t& yr, int32_t& mon, int32_t& day, int32_t& hr, int32_t& min, int32_t& sec) {
    const astro::UtcTime now = astro::UtcTimeNow();
    yr = now.year - 1900;
    mon = now.month - 1;
    day = now.day;
    hr = now.hour;
    min = now.minute;
    sec = now.second;
}

}  // namespace trimcore
