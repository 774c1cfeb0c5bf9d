// The mount error model: term partial derivatives, pier-side transform, pole
// guard, horizon conversions and refraction, and the three corrections built
// from them. Angles in radians; hour angle west positive; azimuth from the
// south, west positive; pressure in kPa, temperature in degrees Celsius.
// Nothing here allocates or does input or output.
#pragma once

#include <array>

#include "constants.h"
#include "engine_state.h"

namespace trimcore {

// Pole margin: 0.1 arc second.
inline constexpr double kPoleMargin = 4.84813681109536e-07;

// Number of terms a fit can solve for (index 8 is DecFlex or ForkFlex).
inline constexpr int kFitTerms = 8;
using TermVector = std::array<double, kFitTerms>;

// Keeps a declination or altitude at least the pole margin away from +-pi/2.
double NudgeOffPole(double x);

// Effect of each term (fit order 1..8 at index 0..7) on the hour angle and on
// the declination at (H, dec). dec passes through NudgeOffPole first.
// Term 8 is DecFlex on a German mount and ForkFlex on a fork mount.
void HABasis(double H, double dec, double latitude, bool german, TermVector& out);
void DecBasis(double H, double dec, double latitude, bool german, TermVector& out);
// Both at once, sharing the trigonometry.
void Basis(double H, double dec, double latitude, bool german, TermVector& ha, TermVector& de);

// The active terms in fit order: HOffset, DecOffset, PolarLeftRight,
// PolarVertical, Collimation, AxisNonPerp, TubeFlex, DecFlex or ForkFlex.
TermVector ActiveTerms(const EngineState& s);

struct HADec {
    double ha;
    double dec;
};

// (dH, dDec) at (H, dec), evaluated at that position.
HADec ModelOffsets(const EngineState& s, double H, double dec);

// The same position as seen from the other side of the pier.
HADec FlipSide(double H, double dec);

struct AltAz {
    double az;          // from south, west positive
    double alt;         // unrefracted as given
    double refraction;  // Refraction(alt)
};

// Standard refraction at altitude h, before any pressure-temperature factor.
double StandardRefraction(double h);
// Refraction with the pressure-temperature factor, skipped when T + 273.15 is
// not above the 10 K guard.
double Refraction(double h, double pressureKPa, double temperatureC);
// Refraction with the pressure-temperature factor applied whatever the
// temperature: the form the observation reduction uses.
double ScaledRefraction(double h, double pressureKPa, double temperatureC);

AltAz HADecToAltAz(double H, double dec, double latitude, double pressureKPa, double temperatureC);
HADec AltAzToHADec(double az, double alt, double latitude);

// Scope to true (mount to sky).
HADec GetCorrectedHADec(const EngineState& s, double haScope, double decScope);
// True to scope: the model inverted by exactly two fixed-point evaluations.
HADec GetScopeHADec(const EngineState& s, double haTrue, double decTrue);
// Scope to true in azimuth (result in [0, 2pi)) and altitude.
struct AzAlt {
    double az;
    double alt;
};
AzAlt GetCorrectedAltAz(const EngineState& s, double azScope, double altScope);

}  // namespace trimcore
