// indi_celaris_telescope as INDI clients meet it: Debian's indiserver runs
// it in front of a Celaris hub on the simulator, and the tests command it
// over INDI while reading the hub's own answers over Alpaca as the truth.
#include <QDateTime>

#include <cmath>

#include "celaris/drivers/alpaca/alpaca_telescope.h"
#include "celaris/hub/program.h"
#include "celaris_indi_rig.h"

using namespace celaris;
using namespace celaris::test;
using indi::PropertyState;

namespace {

constexpr double kArcsec = 1.0 / 3600.0;

// The hub's own answers, as any Alpaca client reads them.
std::unique_ptr<AlpacaTelescope> Oracle(int port) {
    auto t = std::make_unique<AlpacaTelescope>(drivers_list::AlpacaAddress{"127.0.0.1", port, 0});
    t->Put("Connected", true);
    return t;
}

double Eod(const std::optional<indi::Property>& p, const char* element) {
    return p ? p->Number(QString::fromLatin1(element)).value_or(NAN) : NAN;
}

// Right ascension at hour angle `haHours` for the hub's sidereal time.
double RaAt(AlpacaTelescope& hub, double haHours) {
    const double ra = std::fmod(hub.Get("SiderealTime").toDouble() - haHours + 48.0, 24.0);
    return ra;
}

}  // namespace

TEST(CelarisIndi, ConnectsAndShowsWhatTheHubShows) {
    CelarisIndiRig rig;
    ASSERT_TRUE(rig.Connect(rig.hubPort()));
    auto hub = Oracle(rig.hubPort());

    // The hub's corrected position, not the mount's raw one.
    const auto eod = rig.Await("EQUATORIAL_EOD_COORD", [&](const indi::Property& p) {
        return std::abs(p.Number("DEC").value_or(0) - hub->Get("Declination").toDouble()) < kArcsec;
    });
    EXPECT_NEAR(Eod(eod, "RA"), hub->Get("RightAscension").toDouble(), kArcsec / 15);
    EXPECT_NEAR(Eod(eod, "DEC"), hub->Get("Declination").toDouble(), kArcsec);
    const double rawDec = rig.hub().Run(
        [](hub::Program& p) { return p.hub().driver()->Get("Declination").toDouble(); });
    EXPECT_GT(std::abs(Eod(eod, "DEC") - rawDec), 0.5 / 60);

    // Site, optics, pier side and capabilities follow the hub.
    const auto site = rig.Await("GEOGRAPHIC_COORD", PropertyState::Ok);
    EXPECT_NEAR(Eod(site, "LAT"), 45.0, 1e-9);
    EXPECT_NEAR(Eod(site, "LONG"), 285.0, 1e-9);
    const auto info = rig.Await("TELESCOPE_INFO", PropertyState::Ok);
    EXPECT_NEAR(Eod(info, "TELESCOPE_APERTURE"), 200.0, 1e-6);
    EXPECT_NEAR(Eod(info, "TELESCOPE_FOCAL_LENGTH"), 2000.0, 1e-6);
    const auto pier = rig.Await("TELESCOPE_PIER_SIDE",
                                [](const indi::Property& p) { return !p.OnSwitch().isEmpty(); });
    ASSERT_TRUE(pier);
    EXPECT_EQ(pier->OnSwitch(), hub->Get("SideOfPier").toInt() == 0 ? QStringLiteral("PIER_EAST")
                                                                    : QStringLiteral("PIER_WEST"));
    for (const char* name : {"TELESCOPE_PARK", "TELESCOPE_ABORT_MOTION", "TELESCOPE_TRACK_STATE",
                             "TELESCOPE_TRACK_MODE", "TELESCOPE_MOTION_NS", "TELESCOPE_SLEW_RATE",
                             "TELESCOPE_TIMED_GUIDE_NS", "TELESCOPE_TIMED_GUIDE_WE", "TIME_UTC",
                             "TELESCOPE_PARK_OPTION"})
        EXPECT_TRUE(rig.Defined(name)) << name;
    const auto rates = rig.client().Find(CelarisIndiRig::Dev(), "TELESCOPE_SLEW_RATE");
    ASSERT_TRUE(rates && rates->elements.size() == 4);
    EXPECT_TRUE(rates->elements[3].label.contains("20")) << rates->elements[3].label.toStdString();

    // The hub's model in the Celaris group, in arc seconds.
    const auto model = rig.Await("CELARIS_MODEL", PropertyState::Ok);
    EXPECT_NEAR(Eod(model, "HOUR_OFFSET"), 240.0, 0.05);
    EXPECT_NEAR(Eod(model, "DEC_OFFSET"), -180.0, 0.05);
    EXPECT_NEAR(Eod(model, "COLLIMATION"), 120.0, 0.05);
    const auto about = rig.Await("CELARIS_HUB", PropertyState::Ok);
    ASSERT_TRUE(about);
    EXPECT_EQ(about->Text("DRIVER").value_or(""), "Test.BriskSimulator");

    // Disconnecting gives the hub its connection back.
    rig.Switch("CONNECTION", "DISCONNECT");
    rig.Await("CONNECTION", [](const indi::Property& p) { return p.IsOn("DISCONNECT"); });
    EXPECT_TRUE(WaitFor([&] {
        return rig.hub().Run(
                   [](hub::Program& p) { return int(p.hub().state().ConnectionCount); }) == 1;
    }));
}

TEST(CelarisIndi, GotoLandsWhereTheHubsModelSendsItAndSyncs) {
    CelarisIndiRig rig;
    ASSERT_TRUE(rig.Connect(rig.hubPort()));
    auto hub = Oracle(rig.hubPort());

    const double ra = RaAt(*hub, -1.5), dec = 35.0;
    const uint64_t sent = rig.Coordinates("TRACK", ra, dec);
    const auto busy = rig.Await("EQUATORIAL_EOD_COORD", [&](const indi::Property& p) {
        return p.SeenAfter(PropertyState::Busy, sent);
    });
    ASSERT_TRUE(busy && busy->SeenAfter(PropertyState::Busy, sent));
    const auto done = rig.Await(
        "EQUATORIAL_EOD_COORD",
        [](const indi::Property& p) { return p.state == PropertyState::Ok; },
        std::chrono::seconds(20));
    ASSERT_TRUE(done && done->state == PropertyState::Ok);
    EXPECT_FALSE(hub->Get("Slewing").toBool());
    EXPECT_TRUE(hub->Get("Tracking").toBool());
    EXPECT_NEAR(Eod(done, "RA"), ra, 2 * kArcsec / 15);
    EXPECT_NEAR(Eod(done, "DEC"), dec, 2 * kArcsec);

    // The mount went where the hub's model sends it, not to the target.
    const auto [mountRa, mountDec, expectedRa, expectedDec] = rig.hub().Run([](hub::Program& p) {
        Driver* d = p.hub().driver();
        const double r = d->Get("RightAscension").toDouble(), de = d->Get("Declination").toDouble();
        p.hub().UpdateSiderealTime();
        const hub::RaDec back = p.hub().ScopeToTrueRADec(r, de);
        return std::tuple(r, de, back.ra, back.dec);
    });
    EXPECT_GT(std::abs(mountDec - dec), 0.5 / 60);
    EXPECT_NEAR(expectedRa, ra, 2 * kArcsec / 15);
    EXPECT_NEAR(expectedDec, dec, 2 * kArcsec);
    (void)mountRa;
    EXPECT_EQ(rig.client().Find(CelarisIndiRig::Dev(), "TELESCOPE_PIER_SIDE")->OnSwitch(),
              "PIER_WEST");

    // A sync moves the report, not the mount.
    rig.Coordinates("SYNC", ra, dec + 0.1);
    const auto synced = rig.Await("EQUATORIAL_EOD_COORD", [&](const indi::Property& p) {
        return std::abs(p.Number("DEC").value_or(0) - (dec + 0.1)) < 2 * kArcsec;
    });
    EXPECT_NEAR(Eod(synced, "DEC"), dec + 0.1, 2 * kArcsec);
    // The hub reports what its next poll of the mount reads.
    EXPECT_TRUE(WaitFor(
        [&] { return std::abs(hub->Get("Declination").toDouble() - (dec + 0.1)) < 2 * kArcsec; }));
}

TEST(CelarisIndi, AbortStopsASlewAndAParkedMountRefusesMotion) {
    CelarisIndiRig rig;
    ASSERT_TRUE(rig.Connect(rig.hubPort()));
    auto hub = Oracle(rig.hubPort());

    // From the pole to 80 degrees away: four seconds at 20 deg/s.
    const uint64_t sent = rig.Coordinates("TRACK", RaAt(*hub, 2.0), -10.0);
    ASSERT_TRUE(
        rig.Await("EQUATORIAL_EOD_COORD",
                  [&](const indi::Property& p) { return p.SeenAfter(PropertyState::Busy, sent); })
            ->SeenAfter(PropertyState::Busy, sent));
    rig.Switch("TELESCOPE_ABORT_MOTION", "ABORT");
    EXPECT_EQ(rig.Await("TELESCOPE_ABORT_MOTION", PropertyState::Ok)->state, PropertyState::Ok);
    const auto stopped = rig.Await("EQUATORIAL_EOD_COORD", [](const indi::Property& p) {
        return p.state != PropertyState::Busy;
    });
    EXPECT_NE(stopped->state, PropertyState::Busy);
    EXPECT_FALSE(hub->Get("Slewing").toBool());
    const double mountDec = rig.hub().Run(
        [](hub::Program& p) { return p.hub().driver()->Get("Declination").toDouble(); });
    EXPECT_GT(mountDec, 0.0);

    // Park: busy while the hub parks, then parked.
    const uint64_t park = rig.Switch("TELESCOPE_PARK", "PARK");
    const auto parked = rig.Await(
        "TELESCOPE_PARK",
        [&](const indi::Property& p) { return p.state == PropertyState::Ok && p.updated > park; },
        std::chrono::seconds(20));
    ASSERT_TRUE(parked && parked->IsOn("PARK"));
    EXPECT_TRUE(hub->Get("AtPark").toBool());

    // Parked: gotos and motion are refused, the mount stays.
    const double decParked = hub->Get("Declination").toDouble();
    const uint64_t refused = rig.Coordinates("TRACK", RaAt(*hub, 1.0), 20.0);
    EXPECT_TRUE(rig.SaidAfter(refused, "unpark"));
    rig.Switch("TELESCOPE_MOTION_NS", "MOTION_NORTH");
    EXPECT_EQ(rig.Await("TELESCOPE_MOTION_NS", PropertyState::Idle)->state, PropertyState::Idle);
    EXPECT_FALSE(hub->Get("Slewing").toBool());
    EXPECT_NEAR(hub->Get("Declination").toDouble(), decParked, kArcsec);

    const uint64_t unpark = rig.Switch("TELESCOPE_PARK", "UNPARK");
    const auto unparked = rig.Await("TELESCOPE_PARK", [&](const indi::Property& p) {
        return p.state == PropertyState::Ok && p.updated > unpark;
    });
    EXPECT_TRUE(unparked && unparked->IsOn("UNPARK"));
    EXPECT_FALSE(hub->Get("AtPark").toBool());
}

TEST(CelarisIndi, GuidePulsesAndHandMotionMoveTheMount) {
    CelarisIndiRig rig;
    ASSERT_TRUE(rig.Connect(rig.hubPort()));
    auto hub = Oracle(rig.hubPort());
    // Somewhere east of the meridian, tube west of the pier.
    rig.Coordinates("TRACK", RaAt(*hub, -2.0), 20.0);
    ASSERT_EQ(rig.Await("EQUATORIAL_EOD_COORD", PropertyState::Ok, std::chrono::seconds(20))->state,
              PropertyState::Ok);

    // North for 2 s at half sidereal: 15 arc seconds.
    const double before = hub->Get("Declination").toDouble();
    const uint64_t pulse = rig.Numbers("TELESCOPE_TIMED_GUIDE_NS", {{"TIMED_GUIDE_N", 2000.0}});
    // Busy for the pulse, then done (libindi reports the end as Idle).
    const auto guided = rig.Await("TELESCOPE_TIMED_GUIDE_NS", [&](const indi::Property& p) {
        return p.SeenAfter(PropertyState::Busy, pulse) && p.state != PropertyState::Busy;
    });
    ASSERT_TRUE(guided && guided->SeenAfter(PropertyState::Busy, pulse));
    EXPECT_NE(guided->state, PropertyState::Busy);
    EXPECT_NE(guided->state, PropertyState::Alert);
    EXPECT_FALSE(hub->Get("IsPulseGuiding").toBool());
    EXPECT_NEAR((hub->Get("Declination").toDouble() - before) * 3600, 15.0, 2.0);

    // North by hand at the guide speed on this side of the pier is north too.
    rig.Switch("TELESCOPE_SLEW_RATE", "1x");
    const double start = hub->Get("Declination").toDouble();
    rig.Switch("TELESCOPE_MOTION_NS", "MOTION_NORTH");
    ASSERT_EQ(rig.Await("TELESCOPE_MOTION_NS", PropertyState::Busy)->state, PropertyState::Busy);
    EXPECT_TRUE(WaitFor([&] { return hub->Get("Declination").toDouble() > start + 10 * kArcsec; }));
    rig.client().SendSwitches(CelarisIndiRig::Dev(), "TELESCOPE_MOTION_NS",
                              {{"MOTION_NORTH", false}, {"MOTION_SOUTH", false}});
    EXPECT_EQ(rig.Await("TELESCOPE_MOTION_NS", PropertyState::Idle)->state, PropertyState::Idle);
    EXPECT_TRUE(WaitFor([&] { return !hub->Get("Slewing").toBool(); }));
}

TEST(CelarisIndi, SiteAndTimeGoToTheHub) {
    CelarisIndiRig rig;
    ASSERT_TRUE(rig.Connect(rig.hubPort()));
    auto hub = Oracle(rig.hubPort());

    rig.Numbers("GEOGRAPHIC_COORD", {{"LAT", 50.5}, {"LONG", 350.0}, {"ELEV", 300.0}});
    EXPECT_EQ(rig.Await("GEOGRAPHIC_COORD",
                        [](const indi::Property& p) { return p.Number("LAT") == 50.5; })
                  ->state,
              PropertyState::Ok);
    EXPECT_NEAR(hub->Get("SiteLatitude").toDouble(), 50.5, 1e-9);
    EXPECT_NEAR(hub->Get("SiteLongitude").toDouble(), -10.0, 1e-9);
    EXPECT_NEAR(hub->Get("SiteElevation").toDouble(), 300.0, 1e-9);

    // A clock an hour ahead of the hub's.
    const QDateTime ahead = hub->Get("UTCDate").toDateTime().toUTC().addSecs(3600);
    const uint64_t sent =
        rig.client().SendTexts(CelarisIndiRig::Dev(), "TIME_UTC",
                               {{"UTC", ahead.toString("yyyy-MM-ddTHH:mm:ss")}, {"OFFSET", "0"}});
    const auto time = rig.Await("TIME_UTC", [&](const indi::Property& p) {
        return p.updated > sent && p.state != PropertyState::Busy;
    });
    ASSERT_TRUE(time);
    if (time->state == PropertyState::Ok)
        EXPECT_NEAR(hub->Get("UTCDate").toDateTime().secsTo(ahead), 0, 5);
    else
        EXPECT_TRUE(rig.SaidAfter(sent, "Time:"));
}

TEST(CelarisIndi, ALostHubGivesAnAlertAndIsFoundAgain) {
    CelarisIndiRig rig;
    const int port = rig.hubPort();
    ASSERT_TRUE(rig.Connect(port));
    {
        auto hub = Oracle(port);
        rig.Coordinates("TRACK", RaAt(*hub, 2.0), -10.0);
    }
    ASSERT_EQ(rig.Await("EQUATORIAL_EOD_COORD", PropertyState::Busy)->state, PropertyState::Busy);

    // The hub goes away mid-slew.
    const uint64_t seq = rig.client().Sequence();
    rig.StopHub();
    EXPECT_EQ(rig.Await("EQUATORIAL_EOD_COORD", PropertyState::Alert)->state, PropertyState::Alert);
    EXPECT_TRUE(rig.SaidAfter(seq, "Lost the Celaris hub at 127.0.0.1:"));
    // indiserver and the driver still answer.
    const uint64_t ask = rig.client().GetProperties(CelarisIndiRig::Dev());
    EXPECT_TRUE(rig.Await("CONNECTION", [&](const indi::Property& p) { return p.updated > ask; })
                    ->IsOn("CONNECT"));

    // The hub comes back on the same port; the driver finds it.
    const uint64_t back = rig.client().Sequence();
    rig.StartHub(port);
    const auto eod = rig.Await(
        "EQUATORIAL_EOD_COORD",
        [](const indi::Property& p) { return p.state != PropertyState::Alert; },
        std::chrono::seconds(15));
    EXPECT_NE(eod->state, PropertyState::Alert);
    EXPECT_TRUE(rig.SaidAfter(back, "answers again"));
    EXPECT_NEAR(Eod(eod, "DEC"), Oracle(port)->Get("Declination").toDouble(), kArcsec);
}

TEST(CelarisIndi, NoHubAtTheAddressRefusesTheConnectionClearly) {
    CelarisIndiRig rig;
    const int nobody = indi::FreeLocalPort();
    const uint64_t seq = rig.client().Sequence();
    EXPECT_FALSE(rig.Connect(nobody));
    EXPECT_TRUE(rig.SaidAfter(
        seq, QStringLiteral("Cannot reach the Celaris hub at 127.0.0.1:%1").arg(nobody)));

    // A malformed address is refused before any connection is tried.
    rig.client().SendTexts(CelarisIndiRig::Dev(), "CELARIS_HUB_ADDRESS",
                           {{"ADDRESS", "no port here"}, {"DEVICE", "0"}});
    EXPECT_EQ(rig.Await("CELARIS_HUB_ADDRESS", PropertyState::Alert)->state, PropertyState::Alert);
}
