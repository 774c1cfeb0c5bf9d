#include "celaris/ascom/altaz.h"

#include <cmath>

#include "celaris/units/angles.h"

namespace celaris::ascom {

namespace {

using units::kTwoPi;

struct Spherical {
    double lon;
    double lat;
};

// The rotation between the two frames.
//
// Equatorial: x to the upper meridian on the equator, y to the west point,
// z to the north celestial pole; a direction is (cos dec cos ha,
// cos dec sin ha, sin dec). Horizon: x to the north point, y to the east
// point, z to the zenith; a direction is (cos alt cos az, cos alt sin az,
// sin alt). Seen from the equatorial frame the north point is
// (-sin lat, 0, cos lat), the east point (0, -1, 0) and the zenith
// (cos lat, 0, sin lat). The matrix with these rows is symmetric and
// orthogonal, so it is its own inverse and one function serves both ways.
Spherical Rotate(double latRad, double lon, double lat) {
    const double sinPhi = std::sin(latRad);
    const double cosPhi = std::cos(latRad);
    const double cosLat = std::cos(lat);
    const double x = cosLat * std::cos(lon);
    const double y = cosLat * std::sin(lon);
    const double z = std::sin(lat);

    const double xr = -sinPhi * x + cosPhi * z;
    const double yr = -y;
    const double zr = cosPhi * x + sinPhi * z;
    // atan2 for the latitude keeps full accuracy near the poles, where asin
    // loses half the digits.
    return {std::atan2(yr, xr), std::atan2(zr, std::hypot(xr, yr))};
}

}  // namespace

AltAz hadec_aa(double latRad, double haRad, double decRad) {
    const Spherical h = Rotate(latRad, haRad, decRad);
    double az = h.lon;
    if (az < 0.0) az += kTwoPi;
    if (az >= kTwoPi) az -= kTwoPi;  // -0 rounding up to 2pi
    return {h.lat, az};
}

HaDec aa_hadec(double latRad, double altRad, double azRad) {
    const Spherical e = Rotate(latRad, azRad, altRad);
    return {e.lon, e.lat};
}

}  // namespace celaris::ascom
