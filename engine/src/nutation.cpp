// Nutation in longitude and obliquity: the IAU 1980 theory truncated to its
// 63 terms whose coefficient in longitude is at least 0.0003 arc second
// (obliquity coefficients below that size dropped as well, leaving 38).
// Against the full 106-term series the truncation errs by at most 0.0052"
// in longitude and 0.0026" in obliquity (the sums of the dropped
// coefficients).
#include <cmath>

#include "reductions.h"

namespace trimcore::astro {

namespace {

// One term: multiples of the fundamental arguments, and the coefficients of
// sin(argument) in longitude and cos(argument) in obliquity, each a constant
// and a rate per Julian century, in units of 0.0001 arc second.
struct NutationTerm {
    signed char d, m, mp, f, om;  // D, M, M', F, Omega
    double s, st;                 // longitude
    double c, ct;                 // obliquity
};

constexpr NutationTerm kNutationTerms[] = {
    {0, 0, 0, 0, 1, -171996.0, -174.2, 92025.0, 8.9},
    {0, 0, 0, 0, 2, 2062.0, 0.2, -895.0, 0.5},
    {0, 0, -2, 2, 1, 46.0, 0.0, -24.0, 0.0},
    {0, 0, 2, -2, 0, 11.0, 0.0, 0.0, 0.0},
    {0, 0, -2, 2, 2, -3.0, 0.0, 0.0, 0.0},
    {-1, -1, 1, 0, 0, -3.0, 0.0, 0.0, 0.0},
    {-2, 0, 0, 2, 2, -13187.0, -1.6, 5736.0, -3.1},
    {0, 1, 0, 0, 0, 1426.0, -3.4, 54.0, -0.1},
    {-2, 1, 0, 2, 2, -517.0, 1.2, 224.0, -0.6},
    {-2, -1, 0, 2, 2, 217.0, -0.5, -95.0, 0.3},
    {-2, 0, 0, 2, 1, 129.0, 0.1, -70.0, 0.0},
    {-2, 0, 2, 0, 0, 48.0, 0.0, 0.0, 0.0},
    {-2, 0, 0, 2, 0, -22.0, 0.0, 0.0, 0.0},
    {0, 2, 0, 0, 0, 17.0, -0.1, 0.0, 0.0},
    {0, 1, 0, 0, 1, -15.0, 0.0, 9.0, 0.0},
    {-2, 2, 0, 2, 2, -16.0, 0.1, 7.0, 0.0},
    {0, -1, 0, 0, 1, -12.0, 0.0, 6.0, 0.0},
    {2, 0, -2, 0, 1, -6.0, 0.0, 3.0, 0.0},
    {-2, -1, 0, 2, 1, -5.0, 0.0, 3.0, 0.0},
    {-2, 0, 2, 0, 1, 4.0, 0.0, 0.0, 0.0},
    {-2, 1, 0, 2, 1, 4.0, 0.0, 0.0, 0.0},
    {-1, 0, 1, 0, 0, -4.0, 0.0, 0.0, 0.0},
    {0, 0, 0, 2, 2, -2274.0, -0.2, 977.0, -0.5},
    {0, 0, 1, 0, 0, 712.0, 0.1, -7.0, 0.0},
    {0, 0, 0, 2, 1, -386.0, -0.4, 200.0, 0.0},
    {0, 0, 1, 2, 2, -301.0, 0.0, 129.0, -0.1},
    {-2, 0, 1, 0, 0, -158.0, 0.0, 0.0, 0.0},
    {0, 0, -1, 2, 2, 123.0, 0.0, -53.0, 0.0},
    {2, 0, 0, 0, 0, 63.0, 0.0, 0.0, 0.0},
    {0, 0, 1, 0, 1, 63.0, 0.1, -33.0, 0.0},
    {0, 0, -1, 0, 1, -58.0, -0.1, 32.0, 0.0},
    {2, 0, -1, 2, 2, -59.0, 0.0, 26.0, 0.0},
    {0, 0, 1, 2, 1, -51.0, 0.0, 27.0, 0.0},
    {2, 0, 0, 2, 2, -38.0, 0.0, 16.0, 0.0},
    {0, 0, 2, 0, 0, 29.0, 0.0, 0.0, 0.0},
    {-2, 0, 1, 2, 2, 29.0, 0.0, -12.0, 0.0},
    {0, 0, 2, 2, 2, -31.0, 0.0, 13.0, 0.0},
    {0, 0, 0, 2, 0, 26.0, 0.0, 0.0, 0.0},
    {0, 0, -1, 2, 1, 21.0, 0.0, -10.0, 0.0},
    {2, 0, -1, 0, 1, 16.0, 0.0, -8.0, 0.0},
    {-2, 0, 1, 0, 1, -13.0, 0.0, 7.0, 0.0},
    {2, 0, -1, 2, 1, -10.0, 0.0, 5.0, 0.0},
    {-2, 1, 1, 0, 0, -7.0, 0.0, 0.0, 0.0},
    {0, 1, 0, 2, 2, 7.0, 0.0, -3.0, 0.0},
    {0, -1, 0, 2, 2, -7.0, 0.0, 3.0, 0.0},
    {2, 0, 1, 2, 2, -8.0, 0.0, 3.0, 0.0},
    {2, 0, 1, 0, 0, 6.0, 0.0, 0.0, 0.0},
    {-2, 0, 2, 2, 2, 6.0, 0.0, -3.0, 0.0},
    {2, 0, 0, 0, 1, -6.0, 0.0, 3.0, 0.0},
    {2, 0, 0, 2, 1, -7.0, 0.0, 3.0, 0.0},
    {-2, 0, 1, 2, 1, 6.0, 0.0, -3.0, 0.0},
    {-2, 0, 0, 0, 1, -5.0, 0.0, 3.0, 0.0},
    {0, -1, 1, 0, 0, 5.0, 0.0, 0.0, 0.0},
    {0, 0, 2, 2, 1, -5.0, 0.0, 3.0, 0.0},
    {-2, 1, 0, 0, 0, -4.0, 0.0, 0.0, 0.0},
    {0, 0, 1, -2, 0, 4.0, 0.0, 0.0, 0.0},
    {1, 0, 0, 0, 0, -4.0, 0.0, 0.0, 0.0},
    {0, 1, 1, 0, 0, -3.0, 0.0, 0.0, 0.0},
    {0, 0, 1, 2, 0, 3.0, 0.0, 0.0, 0.0},
    {0, -1, 1, 2, 2, -3.0, 0.0, 0.0, 0.0},
    {2, -1, -1, 2, 2, -3.0, 0.0, 0.0, 0.0},
    {0, 0, 3, 2, 2, -3.0, 0.0, 0.0, 0.0},
    {2, -1, 0, 2, 2, -3.0, 0.0, 0.0, 0.0},
};
static_assert(sizeof kNutationTerms / sizeof kNutationTerms[0] == 63);

// Fundamental arguments in degrees, cubics in T.
constexpr double kElongation[] = {297.8503631, 445267.11148, -0.0019142, 5.278e-6};
constexpr double kSunAnomaly[] = {357.5277233, 35999.05034, -0.0001603, -3.33e-6};
constexpr double kMoonAnomaly[] = {134.9629814, 477198.8673981, 0.0086972, 1.778e-5};
constexpr double kMoonLatitude[] = {93.2719103, 483202.0175381, -0.0036825, 3.056e-6};
constexpr double kMoonNode[] = {125.0445222, -1934.1362608, 0.00207833, 2.22e-6};

double FundamentalArgument(const double* c, double T) {
    return NormalizeAngle(Polynomial(c, 3, T) * kDegToRad);
}

}  // namespace

Nutation NutationAngles(double T) {
    // Mean elongation of the Moon, mean anomalies of the Sun and the Moon,
    // the Moon's argument of latitude and longitude of its ascending node.
    const double d = FundamentalArgument(kElongation, T);
    const double m = FundamentalArgument(kSunAnomaly, T);
    const double mp = FundamentalArgument(kMoonAnomaly, T);
    const double f = FundamentalArgument(kMoonLatitude, T);
    const double om = FundamentalArgument(kMoonNode, T);

    double dpsi = 0.0, deps = 0.0;
    for (const NutationTerm& k : kNutationTerms) {
        const double arg = k.d * d + k.m * m + k.mp * mp + k.f * f + k.om * om;
        dpsi += (k.s + k.st * T) * std::sin(arg);
        if (k.c != 0.0) deps += (k.c + k.ct * T) * std::cos(arg);
    }
    constexpr double kUnit = 1e-4 * kArcsecToRad;
    return {dpsi * kUnit, deps * kUnit};
}

}  // namespace trimcore::astro
