// The astrometric reductions behind J2kToApparent, ApparentToJ2k,
// AddProperMotion and LocalSiderialTime: time scales, precession (IAU 1976),
// nutation (IAU 1980, 63 terms), mean obliquity (Laskar), annual aberration
// with the elliptic terms, and the apparent place built from them.
//
// Every function here takes its epoch as an argument, so a reduction can be
// evaluated at any instant; only CurrentCenturies and UtcTimeNow read the
// clock. Time is UTC throughout (no distinction between UTC, UT1 and TT).
// Angles are radians unless a name says otherwise; right ascension and
// longitude increase eastwards. Nothing here allocates.
#pragma once

#include <chrono>

#include "constants.h"

namespace trimcore::astro {

using trimcore::kArcsecToRad;
using trimcore::kDegToRad;
using trimcore::kPi;
using trimcore::kTwoPi;
inline constexpr double kJ2000 = 2451545.0;         // Julian day of J2000.0
inline constexpr double kDaysPerCentury = 36525.0;  // Julian century

// ---------------------------------------------------------------- time ----

// UTC broken-down time: month 1-12, day 1-31, millisecond 0-999.
struct UtcTime {
    int year;
    int month;
    int day;
    int hour;
    int minute;
    int second;
    int millisecond;
};

// The UTC calendar fields of an instant of the system clock.
UtcTime UtcTimeAt(std::chrono::system_clock::time_point t);
// The system clock now.
UtcTime UtcTimeNow();

// Julian day of calendar date (year, month 1-12, real day of month D),
// Julian calendar up to 1582 October 4, Gregorian from then on.
double JulianDay(int year, int month, double day);
// Julian centuries from J2000.0 to Julian day jd.
double JulianCenturies(double jd);
// Julian centuries from J2000.0 to the instant utc, to the millisecond.
double CenturiesAt(const UtcTime& utc);
// Julian centuries from J2000.0 to now.
double CurrentCenturies();

// ------------------------------------------------------------- helpers ----

// x folded into [0, 2pi).
double NormalizeAngle(double x);
// c[0] + c[1] x + ... + c[n] x^n by Horner's rule.
double Polynomial(const double* c, int n, double x);

// ------------------------------------------------------ sidereal time ----

// Greenwich mean sidereal time (IAU 1982) at T centuries, radians [0, 2pi).
double MeanSiderealTime(double T);
// Local mean sidereal time in hours [0, 24) at T centuries for an
// east-positive longitude in radians.
double LocalSiderialTimeAt(double T, double longitude);

// ---------------------------------------------------------- precession ----

// IAU 1976 precession angles zeta, z and theta (radians) from epoch T0 to
// epoch T1, both in Julian centuries from J2000.0.
struct PrecessionAngles {
    double zeta;
    double z;
    double theta;
};
PrecessionAngles PrecessionAnglesBetween(double T0, double T1);

struct RaDec {
    double ra;   // radians
    double dec;  // radians
};

// Rigorous precession of a mean place from epoch T0 to epoch T1 (Julian
// centuries from J2000.0). The result's right ascension is in [0, 2pi).
RaDec Precess(double T0, double T1, double ra, double dec);

// ------------------------------------------------- obliquity, nutation ----

// Mean obliquity of the ecliptic (Laskar 1986) at T centuries, radians.
double MeanObliquity(double T);

struct Nutation {
    double dpsi;  // nutation in longitude, radians
    double deps;  // nutation in obliquity, radians
};
// IAU 1980 nutation at T centuries, truncated to the 63 terms whose
// longitude coefficient is at least 0.0003 arc second.
Nutation NutationAngles(double T);

// Rotation about the equinox direction by theta: theta = -eps turns
// equatorial into ecliptic coordinates, +eps back. ra in [0, 2pi).
RaDec EclipticRotate(double ra, double dec, double theta);

// Mean to true place for nutation n and mean obliquity eps. First order
// below 1.54 rad of declination; through the ecliptic at and above it.
RaDec ApplyNutation(const Nutation& n, double eps, double ra, double dec);

// ---------------------------------------------------------- aberration ----

struct SunPosition {
    double longitude;     // true geometric longitude, radians, not reduced
    double eccentricity;  // of the Earth's orbit
};
// Low-precision Sun at T centuries.
SunPosition SunLongitude(double T);

// Annual aberration with the elliptic terms at T centuries, mean obliquity
// eps. First order and divided by cos(dec): at a polar distance p the
// neglected second order is about kappa^2 / 2p (0.58" at 0.1 degree).
RaDec ApplyAberration(double T, double eps, double ra, double dec);

// ----------------------------------------------------- apparent place ----

// J2000.0 mean place to the geocentric apparent place at T centuries, and
// back by one subtraction of each correction (no iteration). Right
// ascensions are not reduced after nutation and aberration.
RaDec J2kToApparentAt(double T, double ra2k, double dec2k);
RaDec ApparentToJ2kAt(double T, double ra, double dec);

}  // namespace trimcore::astro
