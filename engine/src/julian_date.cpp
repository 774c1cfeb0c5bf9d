// Julian day and Julian centuries from a calendar date.
#include <cmath>

#include "reductions.h"

namespace trimcore::astro {

double JulianDay(int year, int month, double day) {
    // January and February count as months 13 and 14 of the year before.
    const int y = month > 2 ? year : year - 1;
    const int m = month > 2 ? month : month + 12;
    // Gregorian correction for dates after 1582 October 4.
    const bool gregorian =
        year > 1582 || (year == 1582 && month > 10) || (year == 1582 && month == 10 && day > 4.0);
    const int a = y / 100;
    const int b = gregorian ? 2 - a + a / 4 : 0;
    return std::trunc(30.6001 * (m + 1)) + std::trunc(365.25 * (y + 4716)) + day + b - 1524.5;
}

double JulianCenturies(double jd) {
    return (jd - kJ2000) / kDaysPerCentury;
}

double CenturiesAt(const UtcTime& utc) {
    const double day = utc.day + utc.hour / 24.0 + utc.minute / 1440.0 + utc.second / 86400.0 +
                       utc.millisecond / 86400000.0;
    return JulianCenturies(JulianDay(utc.year, utc.month, day));
}

double CurrentCenturies() {
    return CenturiesAt(UtcTimeNow());
}

}  // namespace trimcore::astro
