#include "sidereal_time.h"

#include <cmath>

#include "celaris/ascom/sidereal_time.h"

namespace celaris::indi {

namespace {
constexpr double kDegToRad = 0.017453292519943295;

double WrapDegrees(double deg) {
    deg = std::fmod(deg, 360.0);
    return deg < 0.0 ? deg + 360.0 : deg;
}
}  // namespace

double LocalApparentSiderealTime(double unixSeconds, double longitudeDeg) {
    // Julian centuries from J2000.0 (Unix 946728000).
    const double t = (unixSeconds - 946728000.0) / 86400.0 / 36525.0;

    const double gmst = ascom::GreenwichMeanSiderealTimeDeg(unixSeconds);

    // Nutation in longitude (arc seconds) from the Moon's node and the mean
    // longitudes of the Sun and the Moon, Meeus (22.A short form).
    const double node = (125.04452 - 1934.136261 * t) * kDegToRad;
    const double sun = (280.4665 + 36000.7698 * t) * kDegToRad;
    const double moon = (218.3165 + 481267.8813 * t) * kDegToRad;
    const double dpsi = -17.20 * std::sin(node) - 1.32 * std::sin(2.0 * sun) -
                        0.23 * std::sin(2.0 * moon) + 0.21 * std::sin(2.0 * node);
    // Mean obliquity of the ecliptic.
    const double eps = (23.439291111 - 0.013004167 * t) * kDegToRad;
    // Equation of the equinoxes (degrees).
    const double eqeq = dpsi * std::cos(eps) / 3600.0;

    return WrapDegrees(gmst + eqeq + longitudeDeg) / 15.0;
}

}  // namespace celaris::indi
