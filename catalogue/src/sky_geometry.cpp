#include "celaris/catalogue/sky_geometry.h"

#include <algorithm>
#include <cmath>

#include "celaris/ascom/altaz.h"
#include "celaris/hub/hub.h"
#include "celaris/units/angles.h"

namespace celaris::catalogue {

// Rounding can take the cosine of two (nearly) equal positions past 1,
// where arccos has no value: such a pair is 0 apart, not NaN.
double ArcLength(double ra1, double dec1, double ra2, double dec2) {
    const double c =
        std::cos(ra2 - ra1) * std::cos(dec1) * std::cos(dec2) + std::sin(dec1) * std::sin(dec2);
    return std::abs(std::acos(std::clamp(c, -1.0, 1.0)));
}

double ArcCos(double x) {
    if (x >= 1.0) return 0.0;
    if (x <= -1.0) return units::kPi;
    return units::kHalfPi + std::atan(-x / std::sqrt(1.0 - x * x));
}

double HorizonAltitude(const HorizonProfile& horizon, double azRad) {
    constexpr int n = profile::kHorizonPoints;
    constexpr double sector = units::kTwoPi / n;
    int b = int(azRad / units::kTwoPi * n);
    // Only az = 2 pi itself gives 16: it is north again.
    if (b > n - 1) b = 0;
    const double h0 = horizon[size_t(b)];
    const double h1 = horizon[size_t((b + 1) % n)];
    return h0 + (azRad - b * sector) / ((b + 1) * sector - b * sector) * (h1 - h0);
}

bool AboveHorizon(hub::Hub& hub, double raRad, double decRad) {
    const auto& s = hub.settings();
    const ascom::AltAz h =
        ascom::hadec_aa(s.Latitude * units::kDegreesToRadians, hub.SiderealAngle() - raRad, decRad);
    return h.altRad >= HorizonAltitude(s.HorizonRad, h.azRad) - kHorizonMarginRad;
}

}  // namespace celaris::catalogue
