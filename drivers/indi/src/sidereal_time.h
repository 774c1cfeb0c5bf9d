// The local apparent sidereal time, which hour angles of the equinox-of-date
// (JNow) coordinates INDI mounts report are measured from.
#pragma once

namespace celaris::indi {

// Local apparent sidereal time (hours, [0, 24)) at a Unix time (seconds,
// UTC taken as UT1) and an east-positive longitude (degrees): the IAU 1982
// mean sidereal time plus the equation of the equinoxes from the four
// largest nutation terms. Within about 0.01 s of the full reduction for
// dates within a few centuries of 2000.
double LocalApparentSiderealTime(double unixSeconds, double longitudeDeg);

}  // namespace celaris::indi
