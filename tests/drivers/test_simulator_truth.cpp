// The simulated mount's hidden truth: its clock against ERFA, and where it
// really points against the engine's model (the convention the hub relies on
// to cancel the error) and against hand-worked cases.
#include <erfa.h>

#include "model.h"
#include "simulator_rig.h"

using namespace simtest;

namespace {

constexpr double kHour = kPi / 12.0;

trimcore::EngineState EngineLike(const SimulatedMount& m, bool inverted) {
    const SimulatorOptions& o = m.options();
    const HiddenTerms t = m.hiddenTerms();
    trimcore::EngineState s;
    s.latitude = o.latitudeDeg * kDeg;
    s.pressure = o.pressureKPa;
    s.temperature = o.temperatureC;
    s.german = o.german;
    s.inverted = inverted ? -1 : 0;
    s.hOffset = t.hOffset;
    s.decOffset = t.decOffset;
    s.polarLeftRight = t.polarLeftRight;
    s.polarVertical = t.polarVertical;
    s.collimation = t.collimation;
    s.axisNonPerp = t.axisNonPerp;
    s.tubeFlex = t.tubeFlex;
    s.decFlex = t.decFlex;
    s.forkFlex = t.forkFlex;
    return s;
}

void SlewTo(Rig& r, double haHours, double decDeg) {
    const double ra = std::fmod(r.Num("SiderealTime") - haHours + 48.0, 24.0);
    r.d.Call("SlewToCoordinates", {ra, decDeg});
}

// A spread of positions on both sides of the meridian (hour angle in hours,
// declination in degrees); all more than 25 degrees up at latitude 45.
constexpr std::pair<double, double> kPositions[] = {{2.5, 10.0},  {0.7, 62.0},  {3.0, -5.0},
                                                    {-0.4, 30.0}, {-3.0, 75.0}, {-5.0, 40.0}};

}  // namespace

TEST(SimulatorTruth, SiderealTimeIsLocalMeanSiderealTime) {
    Rig r;
    for (double days : {0.0, 0.37, 123.9, 3000.25}) {
        const double unix = r.clock->NowUnixSeconds();
        const double gmst = eraGmst82(2440587.5, unix / 86400.0) / kHour;
        const double expected = std::fmod(gmst + r.Num("SiteLongitude") / 15.0 + 24.0, 24.0);
        EXPECT_NEAR(WrapHours(r.Num("SiderealTime") - expected), 0.0, 1e-8) << days;
        r.clock->Advance(days * 86400.0);
    }
}

TEST(SimulatorTruth, APerfectMountInVacuumPointsWhereItReports) {
    SimulatorOptions o = Fast();
    o.hiddenTerms = HiddenTerms::None();
    o.pressureKPa = 0.0;
    Rig r(o);
    for (auto [ha, dec] : kPositions) {
        SlewTo(r, ha, dec);
        const SkyPointing p = r.mount->TruePointing();
        EXPECT_NEAR(WrapHours(p.raHours - r.Num("RightAscension")), 0.0, 1e-11);
        EXPECT_NEAR(p.decDeg - r.Num("Declination"), 0.0, 1e-10);
    }
}

TEST(SimulatorTruth, TruePlaceIsTheEngineCorrectionOfTheMechanicalPosition) {
    for (bool german : {true, false}) {
        SimulatorOptions o = Fast();
        o.german = german;
        Rig r(o);
        // A sync first: the model acts on the encoders, not on the report.
        SlewTo(r, 1.0, 20.0);
        r.d.Call("SyncToCoordinates", {std::fmod(r.Num("RightAscension") + 0.05, 24.0), 20.2});
        for (auto [ha, dec] : kPositions) {
            SlewTo(r, ha, dec);
            const SkyPointing p = r.mount->TruePointing();
            EXPECT_EQ(p.sideOfPier, german && ha < 0 ? PierSide::pierWest : PierSide::pierEast);
            const trimcore::EngineState s =
                EngineLike(*r.mount, p.sideOfPier == PierSide::pierWest);
            const trimcore::HADec c = trimcore::GetCorrectedHADec(
                s, p.mechanicalHourAngleHours * kHour, p.mechanicalDecDeg * kDeg);
            EXPECT_NEAR(WrapHours(p.hourAngleHours - c.ha / kHour) * 15.0 * 3600.0, 0.0, 1e-6)
                << german << " " << ha << " " << dec;
            EXPECT_NEAR((p.decDeg - c.dec / kDeg) * 3600.0, 0.0, 1e-6);
            // And it is a real error: arc minutes, not nothing.
            EXPECT_GT(std::fabs(p.decDeg - r.Num("Declination")) +
                          std::fabs(WrapHours(p.raHours - r.Num("RightAscension"))),
                      1.0 / 60.0);
        }
    }
}

TEST(SimulatorTruth, HandWorkedTermsOnBothSides) {
    // In vacuum the true place is the encoder reading plus the terms. The
    // index offsets keep their sky sense on the west side except the
    // declination offset, which turns over with the tube; so does
    // collimation, whose 1/cos(dec) changes sign in the flipped frame.
    SimulatorOptions o = Fast();
    o.pressureKPa = 0.0;
    o.hiddenTerms = HiddenTerms::None();
    o.hiddenTerms.hOffset = 0.001;
    o.hiddenTerms.decOffset = 0.002;
    o.hiddenTerms.collimation = 0.0005;
    Rig r(o);
    for (auto [ha, dec] : {std::pair{1.5, 35.0}, {-1.5, 35.0}}) {
        SlewTo(r, ha, dec);
        const SkyPointing p = r.mount->TruePointing();
        const double sign = ha > 0 ? 1.0 : -1.0;
        const double expectedHa = p.mechanicalHourAngleHours * kHour + 0.001 +
                                  sign * 0.0005 / std::cos(p.mechanicalDecDeg * kDeg);
        const double expectedDec = p.mechanicalDecDeg * kDeg + sign * 0.002;
        EXPECT_NEAR(p.hourAngleHours * kHour, expectedHa, 1e-12) << ha;
        EXPECT_NEAR(p.decDeg * kDeg, expectedDec, 1e-12) << ha;
    }
}

TEST(SimulatorTruth, RefractionLiftsTheImageByTheStandardAmount) {
    // At 45 degrees with 101.325 kPa and 10 C, 1.02'/tan(45.20558...) =
    // 1.01271': the mount aimed at 45 degrees sees the sky that far lower.
    SimulatorOptions o = Fast();
    o.hiddenTerms = HiddenTerms::None();
    o.temperatureC = 10.0;
    Rig r(o);
    r.d.Put("Tracking", false);
    r.d.Call("SlewToAltAz", {200.0, 45.0});
    EXPECT_NEAR(r.Num("Altitude"), 45.0, 1e-9);
    const SkyPointing p = r.mount->TruePointing();
    double az = 0.0, alt = 0.0;
    eraHd2ae(p.hourAngleHours * kHour, p.decDeg * kDeg, r.Num("SiteLatitude") * kDeg, &az, &alt);
    const double expected = 1.02 / std::tan((45.0 + 10.3019279 / 50.11) * kDeg);
    EXPECT_NEAR((45.0 - alt / kDeg) * 60.0, expected, 1e-7);
    EXPECT_NEAR(expected, 1.01271, 5e-6);
    EXPECT_NEAR(az / kDeg, 200.0, 1e-9);
}

TEST(SimulatorTruth, TheHubModelCancelsTheHiddenError) {
    // What the hub will do: turn the wanted true place into a scope place
    // with the engine's inverse model, on the side the driver will choose,
    // and slew there. The star must then be centred to the model's
    // round-trip accuracy.
    Rig r;
    for (auto [ha, dec] : kPositions) {
        const double lst = r.Num("SiderealTime");
        const double raTrue = std::fmod(lst - ha + 24.0, 24.0);
        const bool west = r.d.Call("DestinationSideOfPier", {raTrue, dec}).toInt() == 1;
        const trimcore::HADec scope =
            trimcore::GetScopeHADec(EngineLike(*r.mount, west), ha * kHour, dec * kDeg);
        r.d.Call("SlewToCoordinates",
                 {std::fmod(lst - scope.ha / kHour + 48.0, 24.0), scope.dec / kDeg});
        const SkyPointing p = r.mount->TruePointing();
        const double missRa = WrapHours(p.raHours - raTrue) * 15.0 * std::cos(dec * kDeg);
        EXPECT_LT(std::hypot(missRa, p.decDeg - dec) * 3600.0, 2.0) << ha << " " << dec;
    }
}

TEST(SimulatorTruth, HiddenTermsCanBeAdjustedWithoutMovingTheReport) {
    Rig r;
    SlewTo(r, 2.0, 40.0);
    const double dec = r.Num("Declination");
    const SkyPointing before = r.mount->TruePointing();
    HiddenTerms t = r.mount->hiddenTerms();
    t.polarVertical = 0.0;
    t.polarLeftRight = 0.0;
    r.mount->SetHiddenTerms(t);
    EXPECT_DOUBLE_EQ(r.Num("Declination"), dec);
    // Without the polar terms (5' and -4') the declination error at two hours
    // west changes by 5' sin 30deg - 4' cos 30deg.
    EXPECT_NEAR((r.mount->TruePointing().decDeg - before.decDeg) * 60.0,
                -(5.0 * 0.5 - 4.0 * std::sqrt(0.75)), 0.02);
}

TEST(SimulatorTruth, AtThePoleTheTubeStillPointsNearThePole) {
    // Where a German mount starts: the offsets can carry the place over the
    // pole, which must fold back, not land on the equator.
    Rig r;
    ASSERT_NEAR(r.Num("Declination"), 90.0, 1e-9);
    for (double decDeg : {90.0, 89.99}) {
        SlewTo(r, 6.0, decDeg);
        const SkyPointing p = r.mount->TruePointing();
        // Within the hidden terms' few arc minutes of where it reports.
        EXPECT_GT(p.decDeg, decDeg - 0.25) << decDeg;
        EXPECT_LE(p.decDeg, 90.0) << decDeg;
    }
}

TEST(SimulatorTruth, FactoryMakesTheSimulatorFromEnvironment) {
    qputenv("CELARIS_SIM_MOUNT", "fork");
    qputenv("CELARIS_SIM_TERMS_SCALE", "0");
    qputenv("CELARIS_SIM_SLEW_RATE", "not a number");
    RegisterSimulatorDriver();
    std::unique_ptr<Driver> d = DriverFactory::Instance().Create("Celaris.Simulator");
    auto* m = dynamic_cast<SimulatedMount*>(d.get());
    ASSERT_NE(m, nullptr);
    EXPECT_FALSE(m->options().german);
    EXPECT_EQ(m->hiddenTerms().hOffset, 0.0);
    EXPECT_EQ(m->options().slewRateDegPerSec, SimulatorOptions{}.slewRateDegPerSec);
    EXPECT_EQ(d->Get("Name").toString(), "Celaris Simulator");
    qunsetenv("CELARIS_SIM_MOUNT");
    qunsetenv("CELARIS_SIM_TERMS_SCALE");
    qunsetenv("CELARIS_SIM_SLEW_RATE");
}
