#include "sidereal_time.h"

#include "angles.h"

namespace celaris::sim {

double GreenwichMeanSiderealTime(double unixSeconds) {
    // Days and Julian centuries from J2000.0 (2000-01-01T12:00:00, Unix
    // 946728000); counting from the epoch directly keeps the day fraction
    // precise, where a full Julian day number would lose tens of microseconds.
    const double days = (unixSeconds - 946728000.0) / 86400.0;
    const double t = days / 36525.0;
    // Mean sidereal time in degrees, in the form of Meeus (12.4).
    const double deg =
        280.46061837 + 360.98564736629 * days + t * t * (0.000387933 - t / 38710000.0);
    return WrapTwoPi(deg * kDegToRad);
}

double LocalMeanSiderealTime(double unixSeconds, double longitudeRad) {
    return WrapTwoPi(GreenwichMeanSiderealTime(unixSeconds) + longitudeRad);
}

}  // namespace celaris::sim
