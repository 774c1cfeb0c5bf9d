// The INDI driver against Debian's INDI telescope simulator: connection,
// position, slews, abort, sync, pier side, park, guiding, rates, refusals
// and a server that goes away. Slews stay near the pole, where the
// simulator's 6 deg/s axes take a second or two.
#include <erfa.h>

#include <QDateTime>
#include <QDir>
#include <QFile>

#include <sys/types.h>
#include <cmath>
#include <csignal>
#include <vector>

#include "celaris/dispatch/ascom_errors.h"
#include "indi_rig.h"

using namespace celaris;
using namespace celaris::test;
using namespace std::chrono_literals;

namespace {

constexpr int32_t kNotImplemented = static_cast<int32_t>(0x80040400);
constexpr int32_t kNotConnected = static_cast<int32_t>(0x80040407);
constexpr int32_t kInvalidWhileParked = static_cast<int32_t>(0x80040408);
constexpr int32_t kDriverError = static_cast<int32_t>(0x80040500);

const QString kDevice = QString::fromLatin1(kSimDevice);

// Distance on the sky between two places, arc seconds.
double ArcsecBetween(double ra1, double dec1, double ra2, double dec2) {
    const double d2r = M_PI / 180.0;
    return eraSeps(ra1 * 15.0 * d2r, dec1 * d2r, ra2 * 15.0 * d2r, dec2 * d2r) / d2r * 3600.0;
}

using indi::LiveProcessesInGroup;

class IndiTelescopeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        rig.SpeedUp();
        scope = Make(TestOptions());
        scope->SetConnected(true);
        ASSERT_TRUE(scope->Connected());
    }

    std::unique_ptr<indi::IndiTelescope> Make(const indi::IndiOptions& o) {
        return std::make_unique<indi::IndiTelescope>(rig.id(), *indi::ParseIndiId(rig.id()), o);
    }
    // Right ascension at an hour angle now, by the driver's sidereal time.
    double RaAt(double haHours) { return RaAtHourAngle(scope->SiderealTime(), haHours); }
    double OffTarget(double ra, double dec) {
        return ArcsecBetween(scope->RightAscension(), scope->Declination(), ra, dec);
    }

    IndiSimulatorRig rig;
    std::unique_ptr<indi::IndiTelescope> scope;
};

}  // namespace

TEST_F(IndiTelescopeTest, ConnectsAndReportsWhatTheDeviceDefines) {
    // Fresh simulator: at the pole, unparked, on the east side of the pier.
    EXPECT_NEAR(scope->Declination(), 90.0, 1e-6);
    EXPECT_FALSE(scope->AtPark());
    EXPECT_FALSE(scope->Slewing());
    EXPECT_EQ(scope->SideOfPier(), PierSide::pierEast);
    EXPECT_EQ(scope->Name(), kDevice);
    EXPECT_TRUE(scope->DriverInfo().contains("indi_simulator_telescope"));
    EXPECT_EQ(scope->DriverVersion(), "1.4");
    EXPECT_EQ(scope->EquatorialSystem(), EquatorialCoordinateType::equLocalTopocentric);
    EXPECT_EQ(scope->AlignmentMode(), AlignmentModes::algGermanPolar);
    EXPECT_DOUBLE_EQ(scope->ApertureDiameter(), 0.12);
    EXPECT_DOUBLE_EQ(scope->FocalLength(), 0.9);

    // Capabilities follow the properties.
    EXPECT_TRUE(scope->CanSlew());
    EXPECT_TRUE(scope->CanSlewAsync());
    EXPECT_TRUE(scope->CanSync());
    EXPECT_TRUE(scope->CanPark());
    EXPECT_TRUE(scope->CanUnpark());
    EXPECT_TRUE(scope->CanSetPark());
    EXPECT_TRUE(scope->CanPulseGuide());
    EXPECT_TRUE(scope->CanSetTracking());
    EXPECT_TRUE(scope->CanSetGuideRates());
    EXPECT_TRUE(scope->CanSetRightAscensionRate());
    EXPECT_TRUE(scope->CanMoveAxis(TelescopeAxes::axisPrimary));
    EXPECT_TRUE(scope->CanMoveAxis(TelescopeAxes::axisSecondary));
    EXPECT_FALSE(scope->CanMoveAxis(TelescopeAxes::axisTertiary));
    EXPECT_FALSE(scope->CanSlewAltAz());
    EXPECT_FALSE(scope->CanFindHome());
    EXPECT_FALSE(scope->CanSetPierSide());

    // What INDI cannot serve says so.
    for (const auto& call : std::initializer_list<std::function<void()>>{
             [&] { scope->SlewToAltAz(180.0, 45.0); }, [&] { scope->FindHome(); },
             [&] { scope->MoveAxis(TelescopeAxes::axisTertiary, 1.0); }}) {
        const dispatch::ComError e = ErrorOf(call);
        EXPECT_EQ(e.number(), kNotImplemented);
        EXPECT_TRUE(e.description().contains("not implemented: ")) << e.description().toStdString();
        EXPECT_EQ(e.source(), rig.id());
    }
}

TEST_F(IndiTelescopeTest, SiteClockAndLocalAstronomy) {
    // Longitudes go out as 0 to 360 east, come back as -180 to 180.
    scope->SetSiteLatitude(45.5);
    scope->SetSiteLongitude(-75.25);
    scope->SetSiteElevation(120.0);
    EXPECT_DOUBLE_EQ(scope->SiteLatitude(), 45.5);
    EXPECT_DOUBLE_EQ(scope->SiteLongitude(), -75.25);
    EXPECT_DOUBLE_EQ(scope->SiteElevation(), 120.0);
    const auto wire = rig.Await("GEOGRAPHIC_COORD",
                                [](const indi::Property& p) { return p.Number("ELEV") == 120.0; });
    ASSERT_TRUE(wire);
    EXPECT_DOUBLE_EQ(*wire->Number("LONG"), 284.75);
    EXPECT_EQ(ErrorOf([&] { scope->SetSiteLatitude(91.0); }).number(), ascom_error::kInvalidValue);

    // Apparent sidereal time against ERFA's, at the driver's longitude.
    const QDateTime now = QDateTime::currentDateTimeUtc();
    double utc1, utc2, tt1, tt2, tai1, tai2;
    const QDate d = now.date();
    const QTime t = now.time();
    eraDtf2d("UTC", d.year(), d.month(), d.day(), t.hour(), t.minute(),
             t.second() + t.msec() / 1000.0, &utc1, &utc2);
    eraUtctai(utc1, utc2, &tai1, &tai2);
    eraTaitt(tai1, tai2, &tt1, &tt2);
    const double gast = eraGst06a(utc1, utc2, tt1, tt2);  // UT1 taken as UTC
    double lst = std::fmod(gast * 12.0 / M_PI - 75.25 / 15.0 + 48.0, 24.0);
    EXPECT_NEAR(std::remainder(scope->SiderealTime() - lst, 24.0) * 3600.0, 0.0, 0.1);

    // At the pole the altitude is the latitude, the azimuth north.
    EXPECT_NEAR(scope->Altitude(), 45.5, 1e-6);
    EXPECT_NEAR(std::remainder(scope->Azimuth(), 360.0), 0.0, 1e-3);

    // The device's clock runs on between its reports.
    const QDateTime utc = scope->UTCDate();
    EXPECT_LT(std::abs(utc.msecsTo(QDateTime::currentDateTimeUtc())), 3000);
    scope->SetUTCDate(QDateTime::currentDateTimeUtc().addSecs(3600));
    EXPECT_NEAR(QDateTime::currentDateTimeUtc().secsTo(scope->UTCDate()), 3600, 3);
}

TEST_F(IndiTelescopeTest, SlewsSynchronouslyAndAsynchronously) {
    // Synchronous: returns on the target, tracking, not slewing.
    const double ra1 = RaAt(5.5);
    scope->SlewToCoordinates(ra1, 85.0);
    EXPECT_FALSE(scope->Slewing());
    EXPECT_TRUE(scope->Tracking());
    EXPECT_LT(OffTarget(ra1, 85.0), 2.0);
    EXPECT_DOUBLE_EQ(scope->TargetRightAscension(), ra1);
    EXPECT_DOUBLE_EQ(scope->TargetDeclination(), 85.0);

    // Asynchronous through the target: Slewing is true when the call
    // returns and false once the mount is there.
    const double ra2 = RaAt(4.5);
    scope->SetTargetRightAscension(ra2);
    scope->SetTargetDeclination(82.0);
    scope->SlewToTargetAsync();
    EXPECT_TRUE(scope->Slewing());
    ASSERT_TRUE(Eventually([&] { return !scope->Slewing(); }));
    EXPECT_LT(OffTarget(ra2, 82.0), 2.0);

    // Bad coordinates never reach the device.
    EXPECT_EQ(ErrorOf([&] { scope->SlewToCoordinatesAsync(24.0, 0.0); }).number(),
              ascom_error::kInvalidValue);
    EXPECT_EQ(ErrorOf([&] { scope->SlewToCoordinatesAsync(1.0, -91.0); }).number(),
              ascom_error::kInvalidValue);
    EXPECT_FALSE(scope->Slewing());
}

TEST_F(IndiTelescopeTest, AbortStopsASlewMidway) {
    // A slew from the pole to the equator takes the simulator 15 s.
    scope->SlewToCoordinatesAsync(RaAt(5.5), 0.0);
    ASSERT_TRUE(scope->Slewing());
    std::this_thread::sleep_for(700ms);
    scope->AbortSlew();
    EXPECT_FALSE(scope->Slewing());
    const double stoppedAt = scope->Declination();
    EXPECT_GT(stoppedAt, 60.0);
    EXPECT_LT(stoppedAt, 89.9);
    std::this_thread::sleep_for(500ms);
    EXPECT_NEAR(scope->Declination(), stoppedAt, 1e-3);
}

TEST_F(IndiTelescopeTest, SyncChangesTheReportAndTheNextGotoStillSlews) {
    const double ra = RaAt(5.0);
    scope->SyncToCoordinates(ra, 80.0);
    EXPECT_LT(OffTarget(ra, 80.0), 1.0);
    EXPECT_DOUBLE_EQ(scope->TargetDeclination(), 80.0);
    // ON_COORD_SET is back on TRACK: the next coordinates are a goto.
    const auto set =
        rig.Await("ON_COORD_SET", [](const indi::Property& p) { return p.IsOn("TRACK"); });
    EXPECT_TRUE(set && set->IsOn("TRACK"));
    scope->SlewToCoordinatesAsync(RaAt(5.0), 82.0);
    EXPECT_TRUE(scope->Slewing());
    ASSERT_TRUE(Eventually([&] { return !scope->Slewing(); }));
    EXPECT_NEAR(scope->Declination(), 82.0, 1e-4);
}

TEST_F(IndiTelescopeTest, PierSideFollowsTheHourAngle) {
    // West of the meridian the tube is east of the pier, and the other way.
    const double west = RaAt(5.5);
    const double east = RaAt(-5.5);
    EXPECT_EQ(scope->DestinationSideOfPier(west, 85.0), PierSide::pierEast);
    EXPECT_EQ(scope->DestinationSideOfPier(east, 85.0), PierSide::pierWest);

    scope->SlewToCoordinates(east, 85.0);
    EXPECT_EQ(scope->SideOfPier(), PierSide::pierWest);
    scope->SlewToCoordinates(west, 85.0);
    EXPECT_EQ(scope->SideOfPier(), PierSide::pierEast);

    // The simulator's flip hour angle (degrees) moves the boundary: at 20
    // degrees (1h20m) a target 1 h west of the meridian ends west of the
    // pier.
    rig.tuner().SendNumbers(kDevice, "FLIP_HA", {{"FLIP_HA", 20.0}});
    ASSERT_TRUE(
        rig.Await("FLIP_HA", [](const indi::Property& p) { return p.Number("FLIP_HA") == 20.0; }));
    ASSERT_TRUE(Eventually(
        [&] { return scope->DestinationSideOfPier(RaAt(1.0), 85.0) == PierSide::pierWest; }, 2s));
}

TEST_F(IndiTelescopeTest, ParksWhereSetAndRefusesGotosWhileParked) {
    const double homeRa = RaAt(-5.5);
    scope->SlewToCoordinates(homeRa, 86.0);
    scope->SetPark();
    scope->SlewToCoordinates(RaAt(-5.0), 83.0);

    scope->Park();
    EXPECT_TRUE(scope->AtPark());
    EXPECT_FALSE(scope->Slewing());
    EXPECT_NEAR(scope->Declination(), 86.0, 1e-3);

    // The device's own words, with the parked number.
    const dispatch::ComError e = ErrorOf([&] { scope->SlewToCoordinatesAsync(RaAt(5.0), 80.0); });
    EXPECT_EQ(e.number(), kInvalidWhileParked);
    EXPECT_TRUE(e.description().contains("unpark", Qt::CaseInsensitive))
        << e.description().toStdString();
    EXPECT_FALSE(scope->Slewing());
    EXPECT_EQ(ErrorOf([&] { scope->MoveAxis(TelescopeAxes::axisPrimary, 1.0); }).number(),
              kInvalidWhileParked);

    scope->Unpark();
    EXPECT_FALSE(scope->AtPark());
    scope->SlewToCoordinates(RaAt(-5.0), 84.0);
    EXPECT_NEAR(scope->Declination(), 84.0, 1e-4);
}

TEST_F(IndiTelescopeTest, GuidesAndMovesAtTheNearestRate) {
    scope->SlewToCoordinates(RaAt(5.5), 80.0);
    scope->SetGuideRateDeclination(0.5 * 15.041067178669 / 3600.0);
    EXPECT_NEAR(scope->GuideRateDeclination() * 3600.0, 7.52, 0.01);

    // 500 ms north at half sidereal: 3.8 arc seconds.
    const double dec0 = scope->Declination();
    scope->PulseGuide(GuideDirections::guideNorth, 500);
    EXPECT_TRUE(scope->IsPulseGuiding());
    ASSERT_TRUE(Eventually([&] { return !scope->IsPulseGuiding(); }, 3s));
    EXPECT_NEAR((scope->Declination() - dec0) * 3600.0, 3.76, 1.0);

    // The simulator's rates: guide, 0.5, 2.5 and 6 deg/s.
    const AxisRates rates = scope->AxisRates(TelescopeAxes::axisPrimary);
    ASSERT_EQ(rates.size(), 4);
    EXPECT_DOUBLE_EQ(rates[1].maximum, 0.5);
    scope->MoveAxis(TelescopeAxes::axisPrimary, 0.6);
    EXPECT_TRUE(scope->Slewing());
    const auto rate =
        rig.Await("TELESCOPE_SLEW_RATE", [](const indi::Property& p) { return p.IsOn("2x"); });
    EXPECT_TRUE(rate && rate->IsOn("2x"));
    const auto motion = rig.Await("TELESCOPE_MOTION_WE",
                                  [](const indi::Property& p) { return p.IsOn("MOTION_WEST"); });
    EXPECT_TRUE(motion && motion->IsOn("MOTION_WEST"));
    scope->MoveAxis(TelescopeAxes::axisPrimary, 0.0);
    EXPECT_FALSE(scope->Slewing());
}

TEST_F(IndiTelescopeTest, TrackingAndRateOffsets) {
    scope->SetTracking(true);
    EXPECT_TRUE(scope->Tracking());
    scope->SetTracking(false);
    EXPECT_FALSE(scope->Tracking());

    const TrackingRates rates = scope->TrackingRates();
    EXPECT_EQ(rates, (TrackingRates{0, 1, 2}));
    scope->SetTrackingRate(DriveRates::driveLunar);
    EXPECT_EQ(scope->TrackingRate(), DriveRates::driveLunar);
    EXPECT_EQ(ErrorOf([&] { scope->SetTrackingRate(DriveRates::driveKing); }).number(),
              ascom_error::kInvalidValue);

    // An offset of 0.01 s of right ascension per sidereal second is custom
    // tracking 0.15 arc seconds per second slower than sidereal.
    scope->SetRightAscensionRate(0.01);
    scope->SetDeclinationRate(0.5);
    EXPECT_NEAR(scope->RightAscensionRate(), 0.01, 1e-9);
    EXPECT_NEAR(scope->DeclinationRate(), 0.5, 1e-9);
    const auto wire = rig.Await("TELESCOPE_TRACK_RATE", [](const indi::Property& p) {
        return p.Number("TRACK_RATE_DE") == 0.5;
    });
    ASSERT_TRUE(wire);
    EXPECT_NEAR(*wire->Number("TRACK_RATE_RA"), 15.041067178669 - 0.15 / 0.9972695677, 1e-6);
    EXPECT_EQ(scope->TrackingRate(), DriveRates::driveSidereal);

    scope->SetRightAscensionRate(0.0);
    scope->SetDeclinationRate(0.0);
    EXPECT_EQ(scope->RightAscensionRate(), 0.0);
    const auto mode = rig.Await("TELESCOPE_TRACK_MODE",
                                [](const indi::Property& p) { return p.IsOn("TRACK_SIDEREAL"); });
    EXPECT_TRUE(mode && mode->IsOn("TRACK_SIDEREAL"));
}

TEST_F(IndiTelescopeTest, ASilentServerTimesOutAndALostOneFailsTheNextCall) {
    auto quick = TestOptions();
    quick.commandTimeout = 1s;
    scope = Make(quick);
    scope->SetConnected(true);

    // A server that stops answering: the command gives up after its time-out.
    ASSERT_EQ(::kill(rig.pid(), SIGSTOP), 0);
    const auto t0 = std::chrono::steady_clock::now();
    const dispatch::ComError silent = ErrorOf([&] { scope->AbortSlew(); });
    const auto waited = std::chrono::steady_clock::now() - t0;
    ::kill(rig.pid(), SIGCONT);
    EXPECT_EQ(silent.number(), kDriverError);
    EXPECT_TRUE(silent.description().contains("did not answer AbortSlew"))
        << silent.description().toStdString();
    EXPECT_LT(waited, 3s);

    // Killed in the middle of a synchronous slew: the call ends with an
    // error at once, and so does every call after it.
    std::thread killer([pid = rig.pid()] {
        std::this_thread::sleep_for(700ms);
        ::kill(pid, SIGKILL);
    });
    const auto t1 = std::chrono::steady_clock::now();
    const dispatch::ComError lost = ErrorOf([&] { scope->SlewToCoordinates(RaAt(5.5), 0.0); });
    killer.join();
    EXPECT_LT(std::chrono::steady_clock::now() - t1, 5s);
    EXPECT_EQ(lost.number(), kNotConnected);
    EXPECT_TRUE(lost.description().startsWith("Lost the connection to the INDI server"))
        << lost.description().toStdString();
    EXPECT_EQ(ErrorOf([&] { return scope->Slewing(); }).number(), kNotConnected);
    EXPECT_EQ(ErrorOf([&] { return scope->RightAscension(); }).number(), kNotConnected);
    EXPECT_FALSE(scope->Connected());

    // The hub can still let go of it.
    scope->SetConnected(false);
    scope.reset();
}

TEST_F(IndiTelescopeTest, AServerLostWhileIdleFailsEveryDeviceMemberUntilConnectedAgain) {
    rig.Crash();
    ASSERT_TRUE(Eventually([&] { return !scope->Connected(); }, 5s));
    // Nothing comes from what the cache kept: positions, state and the
    // capabilities all raise the loss.
    const std::vector<std::pair<const char*, std::function<void()>>> members = {
        {"RightAscension", [&] { scope->RightAscension(); }},
        {"Altitude", [&] { scope->Altitude(); }},
        {"Slewing", [&] { scope->Slewing(); }},
        {"AtPark", [&] { scope->AtPark(); }},
        {"Tracking", [&] { scope->Tracking(); }},
        {"CanPark", [&] { scope->CanPark(); }},
        {"CanSlew", [&] { scope->CanSlew(); }},
        {"TrackingRates", [&] { scope->TrackingRates(); }},
    };
    for (const auto& [name, call] : members) {
        const dispatch::ComError e = ErrorOf(call);
        EXPECT_EQ(e.number(), kNotConnected) << name;
        EXPECT_TRUE(e.description().startsWith("Lost the connection to the INDI server"))
            << name << ": " << e.description().toStdString();
    }
    // No server yet: connecting says so and stays disconnected.
    EXPECT_EQ(ErrorOf([&] { scope->SetConnected(true); }).number(), kNotConnected);
    EXPECT_FALSE(scope->Connected());

    rig.StartAgain();
    scope->SetConnected(true);
    EXPECT_TRUE(scope->Connected());
    EXPECT_TRUE(std::isfinite(scope->Declination()));
    EXPECT_TRUE(scope->CanPark());
}

TEST(IndiConnection, AnAbsentServerOrDeviceIsNotConnected) {
    indi::IndiOptions o = TestOptions();
    o.connectTimeout = 1s;
    const QString nobody =
        QStringLiteral("indi:127.0.0.1:%1/%2").arg(indi::FreeLocalPort()).arg(kDevice);
    indi::IndiTelescope absent(nobody, *indi::ParseIndiId(nobody), o);
    const dispatch::ComError refused = ErrorOf([&] { absent.SetConnected(true); });
    EXPECT_EQ(refused.number(), kNotConnected);
    EXPECT_TRUE(refused.description().startsWith("Cannot reach the INDI server at 127.0.0.1:"))
        << refused.description().toStdString();
    EXPECT_FALSE(absent.Connected());
    EXPECT_EQ(ErrorOf([&] { return absent.Declination(); }).number(), kNotConnected);

    IndiSimulatorRig rig;
    const QString other = QStringLiteral("indi:127.0.0.1:%1/Other Mount").arg(rig.port());
    indi::IndiTelescope wrong(other, *indi::ParseIndiId(other), o);
    const auto t0 = std::chrono::steady_clock::now();
    const dispatch::ComError missing = ErrorOf([&] { wrong.SetConnected(true); });
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 3s);
    EXPECT_EQ(missing.number(), kNotConnected);
    EXPECT_TRUE(missing.description().endsWith("offers no device \"Other Mount\"."))
        << missing.description().toStdString();
}

TEST(IndiIds, ServerAddressOrDeviceOnTheDefaultServer) {
    using indi::IndiAddress;
    using indi::ParseIndiId;
    EXPECT_EQ(ParseIndiId("indi:obs.local:7625/EQMod Mount"),
              (IndiAddress{"obs.local", 7625, "EQMod Mount", true}));
    EXPECT_EQ(ParseIndiId("indi:[::1]:7624/Telescope Simulator"),
              (IndiAddress{"::1", 7624, "Telescope Simulator", true}));
    EXPECT_EQ(ParseIndiId("indi:Telescope Simulator"),
              (IndiAddress{"localhost", 7624, "Telescope Simulator", false}));
    // A device name with a slash of its own is still a device name.
    EXPECT_EQ(ParseIndiId("indi:LX200 10/12"),
              (IndiAddress{"localhost", 7624, "LX200 10/12", false}));
    EXPECT_FALSE(ParseIndiId("indi:"));
    EXPECT_FALSE(ParseIndiId("indi:host:7624/"));
    EXPECT_FALSE(ParseIndiId("alpaca:host:11111/0"));
}

TEST(IndiIds, NumbersOnTheWireAreDecimalOrSexagesimal) {
    using indi::ParseIndiNumber;
    EXPECT_EQ(ParseIndiNumber(" 15.041067 "), 15.041067);
    EXPECT_EQ(ParseIndiNumber("1e-3"), 0.001);
    EXPECT_EQ(ParseIndiNumber("12:30:36"), 12.51);
    EXPECT_EQ(ParseIndiNumber("5 30"), 5.5);
    // The sign belongs to the whole value, also when the first part is 0.
    EXPECT_EQ(ParseIndiNumber("-0:30"), -0.5);
    EXPECT_EQ(ParseIndiNumber("-10:30:00"), -10.5);
    EXPECT_FALSE(ParseIndiNumber("nan"));
    EXPECT_FALSE(ParseIndiNumber("north"));
    EXPECT_FALSE(ParseIndiNumber(""));
}

TEST(IndiCatalogue, StartsTheServerForACatalogueDriverAndStopsItAfterwards) {
    // A catalogue whose label is not the device's name.
    QTemporaryDir dir;
    const QString catalogue = dir.filePath("drivers.xml");
    {
        QFile f(catalogue);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(
            "<driversList><devGroup group=\"Telescopes\">"
            "<device label=\"Celaris Test Mount\"><driver name=\"Telescope Simulator\">"
            "indi_simulator_telescope</driver><version>1.0</version></device>"
            "</devGroup></driversList>");
    }
    indi::IndiOptions o = TestOptions();
    o.catalogPath = catalogue;
    o.server.home = dir.path();
    const QString id = "indi:Celaris Test Mount";
    pid_t pid = -1;
    {
        indi::IndiTelescope scope(id, *indi::ParseIndiId(id), o);
        scope.SetConnected(true);
        ASSERT_NE(scope.startedServer(), nullptr);
        pid = scope.startedServer()->pid();
        EXPECT_EQ(scope.device(), kDevice);
        EXPECT_NEAR(scope.Declination(), 90.0, 1e-6);
        EXPECT_TRUE(scope.Description().contains("server Celaris started"));
        scope.SetConnected(false);
        EXPECT_FALSE(scope.Connected());
    }
    // Gone with the driver object, drivers and all (the system may take a
    // moment to clear away the drivers' exit status).
    EXPECT_EQ(::kill(pid, 0), -1);
    EXPECT_EQ(LiveProcessesInGroup(pid), 0);

    // A label the catalogue does not list cannot be started.
    const QString unknown = "indi:No Such Mount";
    indi::IndiTelescope none(unknown, *indi::ParseIndiId(unknown), o);
    const dispatch::ComError e = ErrorOf([&] { none.SetConnected(true); });
    EXPECT_EQ(e.number(), kNotConnected);
    EXPECT_TRUE(e.description().contains("lists no telescope")) << e.description().toStdString();
}
