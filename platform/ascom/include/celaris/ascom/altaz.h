// Hour angle and declination to altitude and azimuth and back, for an
// observer at a given latitude: purely geometric, no refraction.
//
// All angles in radians. Azimuth counts from north through east, in
// [0, 2pi). Hour angle is positive west of the meridian and comes back in
// (-pi, pi]; callers fold it further as they need.
//
// The two functions are one rotation and its inverse: aa_hadec(hadec_aa(x))
// returns x to about 1e-15 radians except at the points where one of the two
// longitudes is undefined (the zenith and nadir for azimuth, the celestial
// poles for hour angle), where it returns 0.
#pragma once

namespace celaris::ascom {

struct AltAz {
    double altRad;
    double azRad;
};

struct HaDec {
    double haRad;
    double decRad;
};

// latitude (radians, north positive), hour angle (radians), declination
// (radians) -> altitude and azimuth (radians).
AltAz hadec_aa(double latRad, double haRad, double decRad);

// latitude, altitude, azimuth (radians) -> hour angle and declination
// (radians).
HaDec aa_hadec(double latRad, double altRad, double azRad);

}  // namespace celaris::ascom
