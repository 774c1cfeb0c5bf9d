// The mount error model and corrections, checked on the internal functions.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "model.h"

using namespace trimcore;

namespace {

constexpr double kDeg = 0.017453292519943278;
constexpr double kArcsec = kDeg / 3600.0;

EngineState Site(double latDeg, double pressure, double temperature, bool german = true) {
    EngineState s;
    s.latitude = latDeg * kDeg;
    s.pressure = pressure;
    s.temperature = temperature;
    s.german = german;
    return s;
}

void SetTerms(EngineState& s, double scaleArcmin) {
    const double am = scaleArcmin * kDeg / 60.0;
    s.hOffset = 2.0 * am;
    s.decOffset = -1.5 * am;
    s.polarLeftRight = 3.0 * am;
    s.polarVertical = -2.5 * am;
    s.collimation = 1.0 * am;
    s.axisNonPerp = -0.5 * am;
    s.tubeFlex = 4.0 * am;
    s.decFlex = 1.2 * am;
    s.forkFlex = -0.8 * am;
}

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

}  // namespace

TEST(Refraction, DocumentedValuesAndGuards) {
    // 45 degrees at 101.325 kPa and 10 C: the factor is 1, R = 1.01271'.
    const double r = Refraction(45.0 * kDeg, 101.325, 10.0);
    EXPECT_NEAR(r / kDeg * 60.0, 1.02 / std::tan((45.0 + 10.3019279 / 50.11) * kDeg), 1e-12);
    EXPECT_NEAR(r / kDeg * 60.0, 1.01271, 5e-6);
    EXPECT_DOUBLE_EQ(r, StandardRefraction(45.0 * kDeg));
    // No air, no refraction.
    EXPECT_EQ(Refraction(45.0 * kDeg, 0.0, 10.0), 0.0);
    // At 8.15 K the factor is skipped whatever the pressure.
    EXPECT_EQ(Refraction(30.0 * kDeg, 0.0, -265.0), StandardRefraction(30.0 * kDeg));
    // Evaluated below the horizon too: finite a little below, no clamp.
    EXPECT_TRUE(std::isfinite(Refraction(-2.0 * kDeg, 101.325, 10.0)));
}

TEST(PoleGuard, NudgesOnlyWithinTheMargin) {
    const double halfPi = kPi / 2.0;
    EXPECT_EQ(NudgeOffPole(halfPi), halfPi - kPoleMargin);
    EXPECT_EQ(NudgeOffPole(halfPi + 1e-9), halfPi + kPoleMargin);
    EXPECT_EQ(NudgeOffPole(-halfPi), -halfPi + kPoleMargin);
    EXPECT_EQ(NudgeOffPole(-halfPi - 1e-9), -halfPi - kPoleMargin);
    EXPECT_EQ(NudgeOffPole(0.5), 0.5);
    EXPECT_EQ(NudgeOffPole(halfPi - 2 * kPoleMargin), halfPi - 2 * kPoleMargin);

    // At the pole itself the basis and the horizon conversion stay finite.
    TermVector ha, de;
    Basis(0.7, halfPi, 40 * kDeg, true, ha, de);
    for (int k = 0; k < kFitTerms; ++k) {
        EXPECT_TRUE(std::isfinite(ha[k])) << k;
        EXPECT_TRUE(std::isfinite(de[k])) << k;
    }
    EngineState s = Site(40, 101.325, 10);
    SetTerms(s, 2.0);
    const HADec c = GetCorrectedHADec(s, 0.7, halfPi);
    EXPECT_TRUE(std::isfinite(c.ha) && std::isfinite(c.dec));
}

TEST(FlipSide, IsItsOwnInverseAwayFromZero) {
    for (double H : {-3.0, -0.4, 0.2, 2.9})
        for (double d : {-1.2, -0.1, 0.3, 1.5}) {
            const HADec f = FlipSide(H, d);
            const HADec b = FlipSide(f.ha, f.dec);
            EXPECT_NEAR(b.ha, H, 1e-15);
            EXPECT_NEAR(b.dec, d, 1e-15);
        }
    const HADec f = FlipSide(0.3, 0.5);
    EXPECT_DOUBLE_EQ(f.ha, 0.3 - kPi);
    EXPECT_DOUBLE_EQ(f.dec, kPi - 0.5);
}

TEST(Corrections, OffflagReturnsInputsBitForBit) {
    EngineState s = Site(40, 101.325, 10);
    SetTerms(s, 3.0);
    s.applyCorrections = 0;
    s.inverted = 1;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (double a : {0.3, -7.5, 1e300, nan}) {
        const HADec c = GetCorrectedHADec(s, a, 0.5);
        const HADec t = GetScopeHADec(s, a, -0.25);
        const AzAlt z = GetCorrectedAltAz(s, a + 20.0, 0.7);  // azimuth outside [0, 2pi)
        EXPECT_TRUE(SameBits(c.ha, a) && SameBits(c.dec, 0.5));
        EXPECT_TRUE(SameBits(t.ha, a) && SameBits(t.dec, -0.25));
        EXPECT_TRUE(SameBits(z.az, a + 20.0) && SameBits(z.alt, 0.7));
    }
}

TEST(Corrections, DocumentedOffsetExamplesOnBothSides) {
    EngineState s = Site(40, 0.0, 10.0);
    s.hOffset = 0.001;
    HADec c = GetCorrectedHADec(s, 0.3, 0.5);
    EXPECT_NEAR(c.ha, 0.301, 1e-12);
    EXPECT_NEAR(c.dec, 0.5, 1e-12);

    s.hOffset = 0.0;
    s.decOffset = 0.001;
    c = GetCorrectedHADec(s, 0.3, 0.5);
    EXPECT_NEAR(c.ha, 0.3, 1e-12);
    EXPECT_NEAR(c.dec, 0.501, 1e-12);
    // On the flipped side the declination offset acts with the opposite sign.
    s.inverted = 1;
    c = GetCorrectedHADec(s, 0.3, 0.5);
    EXPECT_NEAR(c.ha, 0.3, 1e-12);
    EXPECT_NEAR(c.dec, 0.499, 1e-12);
}

TEST(Corrections, FlexureTermFollowsMountType) {
    for (bool german : {true, false}) {
        EngineState a = Site(35, 101.325, 5, german);
        SetTerms(a, 2.0);
        EngineState b = a;
        // The term of the other mount type changes nothing.
        (german ? b.forkFlex : b.decFlex) = 0.0;
        (german ? a.forkFlex : a.decFlex) = 0.01;
        // The active flexure term does.
        EngineState c = b;
        (german ? c.decFlex : c.forkFlex) += 0.001;
        for (double H : {-1.0, 0.4}) {
            const HADec ra = GetCorrectedHADec(a, H, 0.3);
            const HADec rb = GetCorrectedHADec(b, H, 0.3);
            const HADec rc = GetCorrectedHADec(c, H, 0.3);
            EXPECT_EQ(ra.ha, rb.ha);
            EXPECT_EQ(ra.dec, rb.dec);
            EXPECT_GT(std::fabs(rc.ha - rb.ha) + std::fabs(rc.dec - rb.dec), 1e-5);
        }
    }
}

TEST(Corrections, RoundTripWithinOneAndAHalfArcsecondOnBothSides) {
    // Terms of 0.5' to 4', up to 85 degrees declination (tan dec grows fast beyond).
    EngineState s = Site(40, 101.325, 10);
    SetTerms(s, 1.0);
    double worst = 0;
    for (int inverted = 0; inverted < 2; ++inverted) {
        s.inverted = inverted;
        for (double H = -5.5; H <= 5.5; H += 0.25)
            for (double d = -30; d <= 85; d += 1) {
                const double ha = H * 15 * kDeg, dec = d * kDeg;
                const AltAz h = HADecToAltAz(ha, dec, s.latitude, 0, 10);
                if (h.alt < 15 * kDeg) continue;
                const HADec scope = GetScopeHADec(s, ha, dec);
                const HADec back = GetCorrectedHADec(s, scope.ha, scope.dec);
                const double dH = std::remainder(back.ha - ha, 2 * kPi) * std::cos(dec);
                worst = std::max(worst, std::hypot(dH, back.dec - dec));
            }
    }
    EXPECT_LT(worst, 1.5 * kArcsec);
}

TEST(Corrections, HourAngleAndAzimuthRanges) {
    EngineState s = Site(-33, 101.325, 20);
    SetTerms(s, 2.0);
    for (double H = -3.1; H < 3.1; H += 0.37) {
        const HADec c = GetCorrectedHADec(s, H, -0.8);
        EXPECT_GT(c.ha, -kPi);
        EXPECT_LE(c.ha, kPi);
    }
    for (double az = -7.0; az < 13.0; az += 0.9) {
        const AzAlt z = GetCorrectedAltAz(s, az, 0.6);
        EXPECT_GE(z.az, 0.0);
        EXPECT_LT(z.az, 2 * kPi);
    }
}

TEST(Corrections, AltAzAgreesWithHADecPath) {
    // GetCorrectedAltAz is GetCorrectedHADec seen through the horizon.
    EngineState s = Site(52, 98.0, 3);
    SetTerms(s, 1.5);
    const double H = 0.8, dec = 0.4;
    const AltAz scope = HADecToAltAz(H, dec, s.latitude, 0, 0);
    const AzAlt z = GetCorrectedAltAz(s, scope.az, scope.alt);
    const HADec c = GetCorrectedHADec(s, H, dec);
    const AltAz want = HADecToAltAz(c.ha, c.dec, s.latitude, 0, 0);
    EXPECT_NEAR(z.az, want.az < 0 ? want.az + 2 * kPi : want.az, 1e-9);
    EXPECT_NEAR(z.alt, want.alt, 1e-9);
}

TEST(Corrections, HorizonConversionsInvertEachOther) {
    for (double lat : {-60.0, 0.0, 40.0, 89.0})
        for (double H = -3.0; H < 3.0; H += 0.5)
            for (double d = -80; d <= 80; d += 20) {
                const AltAz h = HADecToAltAz(H, d * kDeg, lat * kDeg, 0, 0);
                const HADec back = AltAzToHADec(h.az, h.alt, lat * kDeg);
                EXPECT_NEAR(std::remainder(back.ha - H, 2 * kPi) * std::cos(d * kDeg), 0, 1e-9);
                EXPECT_NEAR(back.dec, d * kDeg, 1e-9);
            }
}

TEST(Corrections, NonNumbersPropagateWithoutCrashing) {
    EngineState s = Site(40, 101.325, 10);
    SetTerms(s, 2.0);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    for (int inverted = 0; inverted < 2; ++inverted) {
        s.inverted = inverted;
        const HADec a = GetCorrectedHADec(s, nan, 0.5);
        EXPECT_TRUE(std::isnan(a.ha) && std::isnan(a.dec));
        const HADec b = GetScopeHADec(s, 0.5, nan);
        EXPECT_TRUE(std::isnan(b.ha) && std::isnan(b.dec));
        for (double x : {inf, -inf, 1e308}) {
            (void)GetCorrectedHADec(s, x, x);
            (void)GetScopeHADec(s, x, -x);
            (void)GetCorrectedAltAz(s, x, x);
        }
    }
    s.latitude = nan;
    EXPECT_TRUE(std::isnan(GetCorrectedHADec(s, 0.1, 0.2).dec));
}

TEST(Corrections, ZenithStaysAtTheZenith) {
    // Refraction is slightly negative at the zenith, so taking it out lifts
    // the altitude just past 90 degrees; the result must stay there.
    EngineState s = Site(40, 101.325, 10);
    for (int inverted = 0; inverted < 2; ++inverted) {
        s.inverted = inverted;
        const HADec c = GetCorrectedHADec(s, 0.0, s.latitude);
        EXPECT_NEAR(std::remainder(c.ha, 2 * kPi) * std::cos(c.dec), 0.0, 1e-5);
        EXPECT_NEAR(c.dec, s.latitude, 1e-5);
    }
    const HADec h = AltAzToHADec(0.3, kPi / 2 + 1e-6, s.latitude);
    const HADec folded = AltAzToHADec(0.3 + kPi, kPi / 2 - 1e-6, s.latitude);
    EXPECT_NEAR(h.ha, folded.ha, 1e-12);
    EXPECT_NEAR(h.dec, folded.dec, 1e-12);
}
