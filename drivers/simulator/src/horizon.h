// Conversions between hour angle / declination and the horizon, azimuth
// counted from north through east, as ASCOM reports it. No refraction.
#pragma once

#include "angles.h"

namespace celaris::sim {

struct AltAz {
    double azimuth = 0.0;   // radians, [0, 2 pi), north through east
    double altitude = 0.0;  // radians
};

// Hour angle (west positive), declination and latitude in radians.
AltAz HorizonFromEquatorial(HaDec p, double latitudeRad);

// The inverse; the hour angle comes back in (-pi, pi].
HaDec EquatorialFromHorizon(AltAz h, double latitudeRad);

}  // namespace celaris::sim
