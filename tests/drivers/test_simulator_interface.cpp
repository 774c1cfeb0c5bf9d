// The simulated mount as the hub drives it: members got, put and called by
// name, results and errors as an ASCOM driver gives them.
#include <QThread>
#include <chrono>

#include "celaris/dispatch/ascom_errors.h"
#include "simulator_rig.h"

using namespace simtest;
namespace err = celaris::ascom_error;

namespace {

// Right ascension (hours) at hour angle `haHours` now.
double RaAtHourAngle(Rig& r, double haHours) {
    return std::fmod(r.Num("SiderealTime") - haHours + 48.0, 24.0);
}

void SlewTo(Rig& r, double haHours, double decDeg) {
    r.d.Call("SlewToCoordinates", {RaAtHourAngle(r, haHours), decDeg});
}

int Side(Rig& r) {
    return r.d.Get("SideOfPier").toInt();
}

}  // namespace

TEST(SimulatorInterface, IdentityWithoutConnectionAndNotConnectedErrors) {
    Rig r(Fast(), false);
    EXPECT_EQ(r.d.Get("Name").toString(), "Celaris Simulator");
    EXPECT_EQ(r.d.Get("description").toString(), "Celaris Mount Simulator");
    EXPECT_EQ(r.d.Get("InterfaceVersion").toInt(), 3);
    EXPECT_EQ(r.d.Get("DriverVersion").toString(), "1.4");  // the program's, from project()
    EXPECT_TRUE(r.d.Get("CanSlew").toBool());
    EXPECT_FALSE(r.d.Get("Connected").toBool());

    for (const char* m : {"RightAscension", "Declination", "Altitude", "Azimuth", "SiderealTime",
                          "Tracking", "SideOfPier", "UTCDate", "AtPark", "Slewing"})
        EXPECT_EQ(ErrorNumberOf([&] { r.d.Get(m); }), err::kNotConnected) << m;
    EXPECT_EQ(ErrorNumberOf([&] {
                  r.d.Call("SlewToCoordinatesAsync", {1.0, 10.0});
              }),
              err::kNotConnected);
    EXPECT_EQ(ErrorNumberOf([&] { r.d.Put("Tracking", false); }), err::kNotConnected);

    r.d.Put("CONNECTED", true);
    EXPECT_TRUE(r.d.Get("connected").toBool());
    EXPECT_TRUE(r.d.Get("tracking").toBool());
}

TEST(SimulatorInterface, SynchronousSlewTakesTheAxesTimeAndEndsOnTarget) {
    Rig r;
    const double t0 = r.clock->NowUnixSeconds();
    const double ra = RaAtHourAngle(r, 2.0);
    r.d.Call("slewtocoordinates", {ra, 30.0});
    // From the pole (HA 6 h, counterweight down) both axes turn 60 degrees
    // at 50 degrees per second.
    EXPECT_NEAR(r.clock->NowUnixSeconds() - t0, 1.2, 0.03);
    EXPECT_FALSE(r.d.Get("Slewing").toBool());
    EXPECT_NEAR(WrapHours(r.Num("RightAscension") - ra), 0.0, 1e-8);
    EXPECT_NEAR(r.Num("Declination"), 30.0, 1e-8);
    EXPECT_DOUBLE_EQ(r.Num("TargetRightAscension"), ra);
    EXPECT_DOUBLE_EQ(r.Num("TargetDeclination"), 30.0);
    EXPECT_EQ(Side(r), static_cast<int>(PierSide::pierEast));
}

TEST(SimulatorInterface, AsyncSlewReportsSlewingAndAbortStopsWhereItIs) {
    Rig r;
    const double ra = RaAtHourAngle(r, -3.0);
    r.d.Call("SlewToCoordinatesAsync", {ra, 10.0});
    EXPECT_TRUE(r.d.Get("Slewing").toBool());
    // East of the meridian: the tube goes west of the pier from the start.
    EXPECT_EQ(Side(r), static_cast<int>(PierSide::pierWest));

    // The declination axis turns 80 degrees over the pole: 1.6 s.
    r.clock->Advance(0.5);
    EXPECT_TRUE(r.d.Get("Slewing").toBool());
    const double decMid = r.Num("Declination");
    EXPECT_NEAR(decMid, 65.0, 1e-6);

    r.d.Call("AbortSlew");
    EXPECT_FALSE(r.d.Get("Slewing").toBool());
    const double raStopped = r.Num("RightAscension");
    r.clock->Advance(10.0);
    EXPECT_NEAR(r.Num("Declination"), decMid, 1e-9);
    EXPECT_NEAR(WrapHours(r.Num("RightAscension") - raStopped), 0.0, 1e-8);
    r.d.Call("AbortSlew");  // harmless when idle

    r.d.Call("SlewToTargetAsync");
    r.clock->Advance(5.0);
    EXPECT_FALSE(r.d.Get("Slewing").toBool());
    EXPECT_NEAR(WrapHours(r.Num("RightAscension") - ra), 0.0, 1e-8);
    EXPECT_NEAR(r.Num("Declination"), 10.0, 1e-8);
}

TEST(SimulatorInterface, TargetsMustBeSetAndCoordinatesInRange) {
    Rig r;
    EXPECT_EQ(ErrorNumberOf([&] { r.d.Get("TargetRightAscension"); }), err::kValueNotSet);
    EXPECT_EQ(ErrorNumberOf([&] { r.d.Get("TargetDeclination"); }), err::kValueNotSet);
    EXPECT_EQ(ErrorNumberOf([&] { r.d.Call("SlewToTarget"); }), err::kValueNotSet);
    EXPECT_EQ(ErrorNumberOf([&] { r.d.Call("SyncToTarget"); }), err::kValueNotSet);

    const double nan = std::nan("");
    for (double ra : {-1.0, 24.0, 25.0, nan}) {
        EXPECT_EQ(ErrorNumberOf([&] { r.d.Put("TargetRightAscension", ra); }), err::kInvalidValue);
        EXPECT_EQ(ErrorNumberOf([&] {
                      r.d.Call("SlewToCoordinatesAsync", {ra, 0.0});
                  }),
                  err::kInvalidValue);
        EXPECT_EQ(ErrorNumberOf([&] {
                      r.d.Call("SyncToCoordinates", {ra, 0.0});
                  }),
                  err::kInvalidValue);
        EXPECT_EQ(ErrorNumberOf([&] {
                      r.d.Call("DestinationSideOfPier", {ra, 0.0});
                  }),
                  err::kInvalidValue);
    }
    for (double dec : {-90.5, 91.0, 100.0, nan}) {
        EXPECT_EQ(ErrorNumberOf([&] { r.d.Put("TargetDeclination", dec); }), err::kInvalidValue);
        EXPECT_EQ(ErrorNumberOf([&] {
                      r.d.Call("SlewToCoordinates", {1.0, dec});
                  }),
                  err::kInvalidValue);
    }
    for (auto [az, alt] :
         {std::pair{-10.0, 45.0}, {370.0, 45.0}, {180.0, 100.0}, {180.0, -100.0}}) {
        EXPECT_EQ(ErrorNumberOf([&] {
                      r.d.Call("SlewToAltAzAsync", {az, alt});
                  }),
                  err::kInvalidValue);
        EXPECT_EQ(ErrorNumberOf([&] { r.d.Call("SyncToAltAz", {az, alt}); }), err::kInvalidValue);
    }
    // Refused values leave nothing behind and move nothing.
    EXPECT_EQ(ErrorNumberOf([&] { r.d.Get("TargetRightAscension"); }), err::kValueNotSet);
    EXPECT_FALSE(r.d.Get("Slewing").toBool());

    r.d.Put("TargetRightAscension", 23.999);
    r.d.Put("TargetDeclination", -90.0);
    EXPECT_DOUBLE_EQ(r.Num("TargetRightAscension"), 23.999);
    EXPECT_DOUBLE_EQ(r.Num("TargetDeclination"), -90.0);
}

TEST(SimulatorInterface, SyncChangesTheReportNotThePointing) {
    Rig r;
    SlewTo(r, 1.0, 20.0);
    const SkyPointing before = r.mount->TruePointing();
    const double ra = std::fmod(r.Num("RightAscension") + 0.1, 24.0);
    r.d.Call("SyncToCoordinates", {ra, 20.5});
    EXPECT_NEAR(WrapHours(r.Num("RightAscension") - ra), 0.0, 1e-9);
    EXPECT_NEAR(r.Num("Declination"), 20.5, 1e-9);
    EXPECT_DOUBLE_EQ(r.Num("TargetDeclination"), 20.5);
    const SkyPointing after = r.mount->TruePointing();
    EXPECT_DOUBLE_EQ(after.raHours, before.raHours);
    EXPECT_DOUBLE_EQ(after.decDeg, before.decDeg);

    // The offset stays: the next slew ends with the report on target and
    // the encoders half a degree lower.
    SlewTo(r, 2.0, 40.0);
    EXPECT_NEAR(r.Num("Declination"), 40.0, 1e-8);
    EXPECT_NEAR(r.mount->TruePointing().mechanicalDecDeg, 39.5, 1e-8);

    // A horizon sync lands the report on that horizon position.
    r.d.Put("Tracking", false);
    r.d.Call("SyncToAltAz", {150.0, 40.0});
    EXPECT_NEAR(r.Num("Azimuth"), 150.0, 1e-7);
    EXPECT_NEAR(r.Num("Altitude"), 40.0, 1e-7);

    r.d.Call("SlewToCoordinatesAsync", {ra, 10.0});
    EXPECT_EQ(ErrorNumberOf([&] {
                  r.d.Call("SyncToCoordinates", {ra, 10.0});
              }),
              err::kInvalidOperation);
}

TEST(SimulatorInterface, ParkRefusesMotionUntilUnparked) {
    Rig r;
    SlewTo(r, -2.0, 30.0);
    r.d.Call("Park");
    EXPECT_TRUE(r.d.Get("AtPark").toBool());
    EXPECT_FALSE(r.d.Get("Tracking").toBool());
    EXPECT_NEAR(r.mount->TruePointing().mechanicalDecDeg, 90.0, 1e-9);
    EXPECT_EQ(Side(r), static_cast<int>(PierSide::pierEast));

    const int32_t parked = err::kInvalidWhileParked;
    EXPECT_EQ(ErrorNumberOf([&] { r.d.Call("SlewToCoordinatesAsync", {1.0, 10.0}); }), parked);
    EXPECT_EQ(ErrorNumberOf([&] { r.d.Call("SlewToAltAz", {100.0, 30.0}); }), parked);
    EXPECT_EQ(ErrorNumberOf([&] { r.d.Call("SyncToCoordinates", {1.0, 10.0}); }), parked);
    EXPECT_EQ(ErrorNumberOf([&] { r.d.Call("MoveAxis", {0, 1.0}); }), parked);
    // Like every other motion, also when it would only stop an axis.
    EXPECT_EQ(ErrorNumberOf([&] { r.d.Call("MoveAxis", {1, 0.0}); }), parked);
    EXPECT_EQ(ErrorNumberOf([&] { r.d.Call("PulseGuide", {0, 100}); }), parked);
    EXPECT_EQ(ErrorNumberOf([&] { r.d.Call("FindHome"); }), parked);
    EXPECT_EQ(ErrorNumberOf([&] { r.d.Put("Tracking", true); }), parked);
    EXPECT_EQ(ErrorNumberOf([&] { r.d.Put("SideOfPier", 1); }), parked);
    r.d.Call("Park");  // parking again is harmless

    r.d.Call("Unpark");
    EXPECT_FALSE(r.d.Get("AtPark").toBool());
    r.d.Put("Tracking", true);
    SlewTo(r, -1.0, 60.0);
    r.d.Call("SetPark");
    const SkyPointing parkedHere = r.mount->TruePointing();
    r.d.Call("FindHome");
    EXPECT_TRUE(r.d.Get("AtHome").toBool());
    r.d.Call("Park");
    const SkyPointing p = r.mount->TruePointing();
    EXPECT_NEAR(p.mechanicalHourAngleHours, parkedHere.mechanicalHourAngleHours, 1e-9);
    EXPECT_NEAR(p.mechanicalDecDeg, 60.0, 1e-9);
    EXPECT_EQ(p.sideOfPier, PierSide::pierWest);
    EXPECT_FALSE(r.d.Get("AtHome").toBool());
}

TEST(SimulatorInterface, StartedParkAndHomeEndLaterAndAbortStopsShortOfThem) {
    Rig r;
    r.d.Call("SlewToCoordinatesAsync", {RaAtHourAngle(r, 3.0), 0.0});
    r.clock->Advance(5.0);
    r.mount->StartPark();
    EXPECT_TRUE(r.d.Get("Slewing").toBool());
    EXPECT_FALSE(r.d.Get("AtPark").toBool());
    r.clock->Advance(0.5);
    r.d.Call("AbortSlew");  // on the way: not parked, free to move
    EXPECT_FALSE(r.d.Get("Slewing").toBool());
    EXPECT_FALSE(r.d.Get("AtPark").toBool());
    r.d.Call("SlewToCoordinatesAsync", {RaAtHourAngle(r, 1.0), 20.0});
    r.d.Call("AbortSlew");

    r.mount->StartFindHome();
    EXPECT_FALSE(r.d.Get("AtHome").toBool());
    r.clock->Advance(0.5);
    r.d.Call("AbortSlew");
    EXPECT_FALSE(r.d.Get("AtHome").toBool());
    r.mount->StartFindHome();
    r.clock->Advance(10.0);
    EXPECT_TRUE(r.d.Get("AtHome").toBool());

    r.mount->StartPark();
    r.clock->Advance(10.0);
    EXPECT_FALSE(r.d.Get("Slewing").toBool());
    EXPECT_TRUE(r.d.Get("AtPark").toBool());
    EXPECT_EQ(ErrorNumberOf([&] {
                  r.d.Call("SlewToCoordinatesAsync", {1.0, 20.0});
              }),
              err::kInvalidWhileParked);
}

TEST(SimulatorInterface, AbortSlewEndsAPulse) {
    Rig r;
    r.d.Call("PulseGuide", {static_cast<int>(GuideDirections::guideNorth), 5000});
    r.clock->Advance(1.0);
    const double dec = r.Num("Declination");
    r.d.Call("AbortSlew");
    EXPECT_FALSE(r.d.Get("IsPulseGuiding").toBool());
    r.clock->Advance(5.0);
    EXPECT_NEAR(r.Num("Declination"), dec, 1e-9);
}

TEST(SimulatorInterface, PierSideIsChosenWhenASlewStartsAndKeptWhileTracking) {
    Rig r;
    const int east = static_cast<int>(PierSide::pierEast);
    const int west = static_cast<int>(PierSide::pierWest);
    EXPECT_EQ(r.d.Call("DestinationSideOfPier", {RaAtHourAngle(r, 2.0), 40.0}).toInt(), east);
    EXPECT_EQ(r.d.Call("DestinationSideOfPier", {RaAtHourAngle(r, -2.0), 40.0}).toInt(), west);

    SlewTo(r, -1.0, 40.0);
    EXPECT_EQ(Side(r), west);
    const double ra = r.Num("RightAscension");
    // Two hours of tracking carry the star past the meridian; the tube stays.
    r.clock->Advance(7200.0);
    EXPECT_EQ(Side(r), west);
    EXPECT_NEAR(WrapHours(r.Num("RightAscension") - ra), 0.0, 1e-8);
    r.d.Call("SlewToCoordinates", {ra, 40.0});
    EXPECT_EQ(Side(r), east);
    // At the pole both sides read the same axes; the report keeps the
    // right ascension it was sent to.
    for (double ha : {-2.0, 2.0}) {
        const double raPole = RaAtHourAngle(r, ha);
        r.d.Call("SlewToCoordinates", {raPole, 90.0});
        EXPECT_EQ(Side(r), ha < 0 ? west : east);
        EXPECT_NEAR(WrapHours(r.Num("RightAscension") - raPole), 0.0, 1e-8);
    }

    SimulatorOptions fork = Fast();
    fork.german = false;
    Rig f(fork);
    SlewTo(f, -1.0, 40.0);
    EXPECT_EQ(Side(f), east);
    EXPECT_EQ(f.d.Get("AlignmentMode").toInt(), static_cast<int>(AlignmentModes::algPolar));
    EXPECT_EQ(r.d.Get("AlignmentMode").toInt(), static_cast<int>(AlignmentModes::algGermanPolar));
    EXPECT_FALSE(f.d.Get("CanSetPierSide").toBool());
    EXPECT_EQ(ErrorNumberOf([&] { f.d.Put("SideOfPier", west); }), err::kNotImplemented);
}

TEST(SimulatorInterface, WritingSideOfPierFlipsTheTubeAsASlew) {
    Rig r;
    SlewTo(r, 0.5, 50.0);
    const double ra = r.Num("RightAscension"), dec = r.Num("Declination");
    const SkyPointing before = r.mount->TruePointing();

    r.d.Put("SideOfPier", static_cast<int>(PierSide::pierWest));
    EXPECT_TRUE(r.d.Get("Slewing").toBool());
    r.clock->Advance(10.0);
    EXPECT_FALSE(r.d.Get("Slewing").toBool());
    EXPECT_EQ(Side(r), static_cast<int>(PierSide::pierWest));
    // Same encoders, other side: the report stays, the sky position moves.
    EXPECT_NEAR(WrapHours(r.Num("RightAscension") - ra), 0.0, 1e-8);
    EXPECT_NEAR(r.Num("Declination"), dec, 1e-8);
    const SkyPointing after = r.mount->TruePointing();
    EXPECT_GT(std::hypot(WrapHours(after.raHours - before.raHours) * 15.0 * std::cos(dec * kDeg),
                         after.decDeg - before.decDeg),
              10.0 / 3600.0);

    r.d.Put("SideOfPier", static_cast<int>(PierSide::pierWest));
    EXPECT_FALSE(r.d.Get("Slewing").toBool());
    EXPECT_EQ(ErrorNumberOf([&] { r.d.Put("SideOfPier", 2); }), err::kInvalidValue);
}

TEST(SimulatorInterface, TrackingHoldsRightAscensionOrHourAngle) {
    Rig r;
    SlewTo(r, 1.0, 20.0);
    const double ra0 = r.Num("RightAscension");
    r.clock->Advance(3600.0);
    EXPECT_NEAR(WrapHours(r.Num("RightAscension") - ra0), 0.0, 1e-8);

    r.d.Put("Tracking", false);
    const double ha0 = r.Num("SiderealTime") - r.Num("RightAscension");
    r.clock->Advance(3600.0);
    EXPECT_NEAR(WrapHours(r.Num("SiderealTime") - r.Num("RightAscension") - ha0), 0.0, 1e-8);
    EXPECT_NEAR(WrapHours(r.Num("RightAscension") - ra0), 1.00273790935, 1e-6);

    // Lunar rate: the right ascension creeps east by the rate difference.
    r.d.Put("TrackingRate", static_cast<int>(DriveRates::driveLunar));
    r.d.Put("Tracking", true);
    double ra1 = r.Num("RightAscension");
    r.clock->Advance(3600.0);
    EXPECT_NEAR(WrapHours(r.Num("RightAscension") - ra1) * 3600.0 * 15.0,
                (15.0410686 - 14.685) * 3600.0, 0.01);
    EXPECT_EQ(ErrorNumberOf([&] { r.d.Put("TrackingRate", 7); }), err::kInvalidValue);
    EXPECT_EQ(r.d.Get("TrackingRates").value<TrackingRates>(), (TrackingRates{0, 1, 2, 3}));

    // Rate offsets at the sidereal rate: seconds of RA per sidereal second,
    // arc seconds per second.
    r.d.Put("TrackingRate", static_cast<int>(DriveRates::driveSidereal));
    r.d.Put("RightAscensionRate", 0.1);
    r.d.Put("DeclinationRate", 10.0);
    ra1 = r.Num("RightAscension");
    const double dec1 = r.Num("Declination");
    r.clock->Advance(100.0);
    EXPECT_NEAR(WrapHours(r.Num("RightAscension") - ra1) * 3600.0, 0.1 * 1.00273790935 * 100.0,
                1e-6);
    EXPECT_NEAR((r.Num("Declination") - dec1) * 3600.0, 1000.0, 1e-6);
    EXPECT_DOUBLE_EQ(r.Num("RightAscensionRate"), 0.1);
}

TEST(SimulatorInterface, MoveAxisTurnsOneAxisAndCountsAsSlewing) {
    Rig r;
    r.d.Put("Tracking", false);
    SlewTo(r, 1.0, 0.0);
    const AxisRates rates = r.d.Call("AxisRates", {0}).value<AxisRates>();
    ASSERT_EQ(rates.size(), 1);
    EXPECT_EQ(rates[0], (AxisRate{0.0, 50.0}));
    EXPECT_FALSE(r.d.Call("CanMoveAxis", {2}).toBool());
    EXPECT_TRUE(r.d.Call("AxisRates", {2}).value<AxisRates>().isEmpty());
    EXPECT_EQ(ErrorNumberOf([&] { r.d.Call("MoveAxis", {2, 1.0}); }), err::kNotImplemented);
    EXPECT_EQ(ErrorNumberOf([&] { r.d.Call("MoveAxis", {0, 50.5}); }), err::kInvalidValue);
    EXPECT_EQ(ErrorNumberOf([&] { r.d.Call("CanMoveAxis", {3}); }), err::kInvalidValue);

    const SkyPointing start = r.mount->TruePointing();
    r.d.Call("MoveAxis", {0, 2.0});
    EXPECT_TRUE(r.d.Get("Slewing").toBool());
    r.clock->Advance(3.0);
    r.d.Call("MoveAxis", {0, 0.0});
    r.d.Call("MoveAxis", {1, -1.0});
    r.clock->Advance(5.0);
    r.d.Call("AbortSlew");
    EXPECT_FALSE(r.d.Get("Slewing").toBool());
    const SkyPointing end = r.mount->TruePointing();
    EXPECT_NEAR(end.mechanicalHourAngleHours - start.mechanicalHourAngleHours, 6.0 / 15.0, 1e-9);
    EXPECT_NEAR(end.mechanicalDecDeg - start.mechanicalDecDeg, -5.0, 1e-9);

    // Manual motion takes over from a go-to.
    r.d.Call("SlewToCoordinatesAsync", {RaAtHourAngle(r, -4.0), 60.0});
    r.d.Call("MoveAxis", {1, 0.0});
    EXPECT_FALSE(r.d.Get("Slewing").toBool());
}

TEST(SimulatorInterface, PulseGuideNudgesAtTheGuideRateOnEitherSide) {
    Rig r;
    const double rate = r.Num("GuideRateDeclination");
    EXPECT_NEAR(rate, 0.5 * 15.0410686 / 3600.0, 1e-9);
    for (double ha : {1.0, -1.0}) {  // east, then west of the pier
        SlewTo(r, ha, 30.0);
        const double dec = r.Num("Declination");
        r.d.Call("PulseGuide", {static_cast<int>(GuideDirections::guideNorth), 2000});
        EXPECT_TRUE(r.d.Get("IsPulseGuiding").toBool());
        r.clock->Advance(1.0);
        EXPECT_TRUE(r.d.Get("IsPulseGuiding").toBool());
        r.clock->Advance(1.5);
        EXPECT_FALSE(r.d.Get("IsPulseGuiding").toBool());
        EXPECT_NEAR(r.Num("Declination") - dec, 2.0 * rate, 1e-9) << "HA " << ha;
    }
    r.d.Put("GuideRateRightAscension", 0.01);
    EXPECT_DOUBLE_EQ(r.Num("GuideRateRightAscension"), 0.01);
    const double ra = r.Num("RightAscension");
    r.d.Call("PulseGuide", {static_cast<int>(GuideDirections::guideEast), 1000});
    r.clock->Advance(2.0);
    EXPECT_NEAR(WrapHours(r.Num("RightAscension") - ra), 0.01 / 15.0, 1e-9);

    EXPECT_EQ(ErrorNumberOf([&] { r.d.Call("PulseGuide", {5, 100}); }), err::kInvalidValue);
    EXPECT_EQ(ErrorNumberOf([&] { r.d.Call("PulseGuide", {0, -1}); }), err::kInvalidValue);
    r.d.Call("SlewToCoordinatesAsync", {RaAtHourAngle(r, 3.0), 0.0});
    EXPECT_EQ(ErrorNumberOf([&] { r.d.Call("PulseGuide", {0, 100}); }), err::kInvalidOperation);
}

TEST(SimulatorInterface, CapabilitySwitchedOffRaisesNotImplemented) {
    SimulatorOptions o = Fast();
    o.can.canSlew = false;
    o.can.canPark = false;
    o.can.canPulseGuide = false;
    o.can.canSetTracking = false;
    Rig r(o);
    EXPECT_FALSE(r.d.Get("CanSlew").toBool());
    EXPECT_TRUE(r.d.Get("CanSlewAsync").toBool());
    EXPECT_EQ(ErrorNumberOf([&] {
                  r.d.Call("SlewToCoordinates", {1.0, 10.0});
              }),
              err::kNotImplemented);
    EXPECT_EQ(ErrorNumberOf([&] { r.d.Call("Park"); }), err::kNotImplemented);
    EXPECT_EQ(ErrorNumberOf([&] { r.d.Call("PulseGuide", {0, 100}); }), err::kNotImplemented);
    EXPECT_EQ(ErrorNumberOf([&] { r.d.Get("IsPulseGuiding"); }), err::kNotImplemented);
    EXPECT_EQ(ErrorNumberOf([&] { r.d.Put("Tracking", false); }), err::kNotImplemented);
    EXPECT_EQ(ErrorNumberOf([&] { r.d.Call("SlewToCoordinatesAsync", {1.0, 10.0}); }), 0);
}

TEST(SimulatorInterface, LateBoundCallsCheckNamesArgumentsAndTypes) {
    Rig r;
    EXPECT_EQ(ErrorNumberOf([&] { r.d.Get("Nonsense"); }), err::kUnknownName);
    EXPECT_EQ(ErrorNumberOf([&] { r.d.Call("SlewToNowhere", {}); }), err::kUnknownName);
    EXPECT_EQ(ErrorNumberOf([&] { r.d.Call("SlewToCoordinates", {1.0}); }), err::kBadParamCount);
    EXPECT_EQ(ErrorNumberOf([&] {
                  r.d.Call("SlewToCoordinates", {1.0, 2.0, 3.0});
              }),
              err::kBadParamCount);
    EXPECT_EQ(ErrorNumberOf([&] {
                  r.d.Call("SlewToCoordinates", {QString("one"), 2.0});
              }),
              err::kTypeMismatch);
    EXPECT_EQ(ErrorNumberOf([&] { r.d.Put("Tracking", QString("yes")); }), err::kTypeMismatch);
    EXPECT_EQ(ErrorNumberOf([&] { r.d.Call("CommandBlind", {QString("X")}); }),
              err::kNotImplemented);
    EXPECT_EQ(ErrorNumberOf([&] {
                  r.d.Call("CommandString", {QString("X"), true});
              }),
              err::kNotImplemented);
    // Errors carry the driver's own source.
    try {
        r.d.Get("TargetDeclination");
        FAIL();
    } catch (const ComError& e) {
        EXPECT_EQ(e.source(), "Celaris.Simulator");
        EXPECT_FALSE(e.description().isEmpty());
    }
}

TEST(SimulatorInterface, SiteAndClockWrites) {
    Rig r;
    const QDateTime utc = r.d.Get("UTCDate").toDateTime();
    EXPECT_EQ(utc.toMSecsSinceEpoch(), static_cast<qint64>(kStartUnix * 1000.0));
    const double lst = r.Num("SiderealTime"), ha = r.mount->TruePointing().mechanicalHourAngleHours;
    r.d.Put("UTCDate", utc.addSecs(6 * 3600));
    EXPECT_EQ(r.d.Get("UTCDate").toDateTime(), utc.addSecs(6 * 3600));
    EXPECT_NEAR(WrapHours(r.Num("SiderealTime") - lst), 6.0 * 1.00273790935, 1e-6);
    // The axes stay where they are: only the sidereal time jumped.
    EXPECT_NEAR(r.mount->TruePointing().mechanicalHourAngleHours, ha, 1e-9);

    r.d.Put("SiteLongitude", 15.0);
    EXPECT_NEAR(WrapHours(r.Num("SiderealTime") - lst - 6.0 * 1.00273790935 - 6.0), 0.0, 1e-6);
    for (auto [m, v] : {std::pair{"SiteLatitude", 91.0},
                        {"SiteLongitude", -181.0},
                        {"SiteElevation", 10001.0},
                        {"SlewSettleTime", -1.0}})
        EXPECT_EQ(ErrorNumberOf([&] { r.d.Put(m, v); }), err::kInvalidValue) << m;
    r.d.Put("SiteLatitude", -33.0);
    EXPECT_DOUBLE_EQ(r.Num("SiteLatitude"), -33.0);
}

TEST(SimulatorInterface, TimeScaleAndSettleTime) {
    SimulatorOptions o = Fast();
    o.timeScale = 60.0;
    o.slewSettleTimeSec = 3;
    Rig r(o);
    const double lst = r.Num("SiderealTime");
    r.clock->Advance(1.0);
    EXPECT_NEAR(WrapHours(r.Num("SiderealTime") - lst) * 3600.0, 60.0 * 1.00273790935, 1e-4);
    // 60 degrees at 50 deg/s plus 3 s settling, in simulated seconds.
    const double t0 = r.clock->NowUnixSeconds();
    SlewTo(r, 2.0, 30.0);
    EXPECT_NEAR((r.clock->NowUnixSeconds() - t0) * 60.0, 1.2 + 3.0, 0.1);
}

TEST(SimulatorInterface, RunsOnTheSystemClock) {
    SimulatorOptions o = Fast();
    o.slewRateDegPerSec = 200.0;
    SimulatedMount m(o);
    Driver& d = m;
    d.Put("Connected", true);
    const double ra = std::fmod(d.Get("SiderealTime").toDouble() - 1.0 + 24.0, 24.0);
    d.Call("SlewToCoordinatesAsync", {ra, 45.0});
    EXPECT_TRUE(d.Get("Slewing").toBool());
    const auto start = std::chrono::steady_clock::now();
    while (d.Get("Slewing").toBool() &&
           std::chrono::steady_clock::now() - start < std::chrono::seconds(3))
        QThread::msleep(10);
    EXPECT_FALSE(d.Get("Slewing").toBool());
    EXPECT_NEAR(WrapHours(d.Get("RightAscension").toDouble() - ra), 0.0, 1e-6);
    EXPECT_NEAR(d.Get("Declination").toDouble(), 45.0, 1e-9);
}
