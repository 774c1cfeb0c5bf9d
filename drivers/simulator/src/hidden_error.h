// Where the simulated mount really points: its mechanical hour angle and
// declination turned into the true (apparent, unrefracted) place by the
// hidden nine-term error and atmospheric refraction. Written independently
// of the engine, but with the same terms, basis functions, pier-side
// transform and refraction formula, so that a model fitted by the engine can
// cancel the hidden error exactly:
//
//   true = model offsets added at the mechanical position (in the flipped
//          representation when the tube is west of the pier), then the
//          refraction taken out at the resulting altitude.
#pragma once

#include "angles.h"
#include "celaris/drivers/simulator/simulator_options.h"

namespace celaris::sim {

struct PhysicalMount {
    HiddenTerms terms;
    bool german = true;
    double latitudeRad = 0.0;
    double pressureKPa = 101.325;
    double temperatureC = 15.0;
};

// Refraction (radians) of a source at apparent altitude `altitudeRad`:
// Bennett's form with the pressure-temperature factor P/101.325 * 283.15/T,
// the factor left out at 10 K and below. Below 1 degree under the horizon,
// where the formula runs towards its pole, the value at -1 degree is used.
double Refraction(double altitudeRad, double pressureKPa, double temperatureC);

// The true hour angle and declination (radians, hour angle in (-pi, pi]) of
// a mechanical position. `inverted`: the tube is west of the pier.
HaDec TruePlace(HaDec mechanical, bool inverted, const PhysicalMount& m);

}  // namespace celaris::sim
