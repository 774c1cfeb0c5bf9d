// Greenwich mean sidereal time from the computer's clock, for the drivers
// that keep their own time (the simulator, INDI mounts). UTC stands in for
// UT1; the difference is under a second of time.
#pragma once

namespace celaris::ascom {

// Greenwich mean sidereal time (IAU 1982 expression, in the form of Meeus
// 12.4), degrees in [0, 360), for a UTC instant in seconds since
// 1970-01-01T00:00:00Z.
double GreenwichMeanSiderealTimeDeg(double unixSeconds);

}  // namespace celaris::ascom
