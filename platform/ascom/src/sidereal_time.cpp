#include "celaris/ascom/sidereal_time.h"

#include <cmath>

namespace celaris::ascom {

double GreenwichMeanSiderealTimeDeg(double unixSeconds) {
    // Days and Julian centuries from J2000.0 (2000-01-01T12:00:00, Unix
    // 946728000); counting from the epoch directly keeps the day fraction
    // precise, where a full Julian day number would lose tens of microseconds.
    const double days = (unixSeconds - 946728000.0) / 86400.0;
    const double t = days / 36525.0;
    const double deg =
        280.46061837 + 360.98564736629 * days + t * t * (0.000387933 - t / 38710000.0);
    const double wrapped = std::fmod(deg, 360.0);
    return wrapped < 0.0 ? wrapped + 360.0 : wrapped;
}

}  // namespace celaris::ascom
