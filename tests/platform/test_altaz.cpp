// Hour angle and declination against altitude and azimuth, checked against
// ERFA and against each other.
#include <erfa.h>
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "celaris/ascom/altaz.h"

using namespace celaris::ascom;

namespace {
constexpr double kDeg = std::numbers::pi / 180.0;

double AngleDiff(double a, double b) {
    return std::remainder(a - b, 2.0 * std::numbers::pi);
}
}  // namespace

TEST(AltAz, KnownDirections) {
    const double lat = 45 * kDeg;
    // On the meridian at the equator: south, 45 degrees up.
    AltAz p = hadec_aa(lat, 0.0, 0.0);
    EXPECT_NEAR(p.altRad, 45 * kDeg, 1e-15);
    EXPECT_NEAR(p.azRad, 180 * kDeg, 1e-15);
    // Six hours east on the equator: the east point.
    p = hadec_aa(lat, -90 * kDeg, 0.0);
    EXPECT_NEAR(p.altRad, 0.0, 1e-15);
    EXPECT_NEAR(p.azRad, 90 * kDeg, 1e-15);
    // The pole: due north at the latitude's altitude.
    p = hadec_aa(lat, 1.0, 90 * kDeg);
    EXPECT_NEAR(p.altRad, lat, 1e-15);
    EXPECT_NEAR(p.azRad, 0.0, 1e-15);
    // Southern site: the equator culminates in the north.
    p = hadec_aa(-30 * kDeg, 0.0, 0.0);
    EXPECT_NEAR(p.altRad, 60 * kDeg, 1e-15);
    EXPECT_NEAR(p.azRad, 0.0, 1e-15);
}

TEST(AltAz, AgreesWithErfa) {
    for (double latDeg = -85; latDeg <= 85; latDeg += 17)
        for (double haDeg = -180; haDeg < 180; haDeg += 13)
            for (double decDeg = -89; decDeg <= 89; decDeg += 11) {
                double az = 0, alt = 0;
                eraHd2ae(haDeg * kDeg, decDeg * kDeg, latDeg * kDeg, &az, &alt);
                const AltAz p = hadec_aa(latDeg * kDeg, haDeg * kDeg, decDeg * kDeg);
                EXPECT_NEAR(p.altRad, alt, 1e-14);
                EXPECT_NEAR(AngleDiff(p.azRad, az), 0.0, 1e-13);
                EXPECT_GE(p.azRad, 0.0);
                EXPECT_LT(p.azRad, 2 * std::numbers::pi);
            }
}

TEST(AltAz, TheTwoConversionsUndoEachOtherOverTheSky) {
    double worst = 0.0;
    for (double latDeg : {-89.0, -64.0, -33.9, -0.5, 0.0, 12.0, 45.0, 51.5, 78.0, 89.0})
        for (double haDeg = -179; haDeg <= 180; haDeg += 7)
            for (double decDeg = -88; decDeg <= 88; decDeg += 8) {
                const double lat = latDeg * kDeg, ha = haDeg * kDeg, dec = decDeg * kDeg;
                const AltAz p = hadec_aa(lat, ha, dec);
                const HaDec back = aa_hadec(lat, p.altRad, p.azRad);
                // Away from the zenith, where azimuth means nothing.
                if (std::abs(p.altRad) > 89.9 * kDeg) continue;
                worst = std::max(
                    {worst, std::abs(AngleDiff(back.haRad, ha)), std::abs(back.decRad - dec)});
                EXPECT_GT(back.haRad, -std::numbers::pi);
                EXPECT_LE(back.haRad, std::numbers::pi);
            }
    EXPECT_LT(worst, 1e-12);

    // And the other way round, from a grid of altitude and azimuth.
    worst = 0.0;
    for (double latDeg : {-60.0, -10.0, 30.0, 70.0})
        for (double azDeg = 0; azDeg < 360; azDeg += 9)
            for (double altDeg = -80; altDeg <= 80; altDeg += 10) {
                const double lat = latDeg * kDeg, az = azDeg * kDeg, alt = altDeg * kDeg;
                const HaDec e = aa_hadec(lat, alt, az);
                const AltAz p = hadec_aa(lat, e.haRad, e.decRad);
                worst =
                    std::max({worst, std::abs(AngleDiff(p.azRad, az)), std::abs(p.altRad - alt)});
            }
    EXPECT_LT(worst, 1e-12);
}
