// End to end: the hub with a non-zero pointing model in front of Debian's
// INDI telescope simulator. A client's slew must put the simulator where
// the model says the uncorrected mount has to point, on either side of the
// pier, and the client must read its own target back.
#include <erfa.h>

#include <cmath>
#include <functional>
#include <vector>

#include "celaris/drivers/indi/indi_telescope.h"
#include "celaris/hub/hub.h"
#include "celaris/hub/status_loop.h"
#include "celaris/hub/telescope.h"
#include "indi_rig.h"
#include "scripted_ui.h"

using namespace celaris;
using namespace celaris::test;

namespace {

struct IndiProfile : hub::HubProfile {
    QString scope;
    void RegisterHub() override {}
    QString ReadScope() override { return scope; }
};

double ArcsecBetween(double ra1, double dec1, double ra2, double dec2) {
    const double d2r = M_PI / 180.0;
    return eraSeps(ra1 * 15.0 * d2r, dec1 * d2r, ra2 * 15.0 * d2r, dec2 * d2r) / d2r * 3600.0;
}

// The program's log as the user would read it.
struct LoggingUi : test::ScriptedUi {
    void Log(const QString& line) override { logged.append(line); }
    QStringList logged;
};

class HubOnIndiTest : public ::testing::Test {
  protected:
    void SetUp() override {
        static const bool registered = [] {
            RegisterIndiDriver();
            return true;
        }();
        (void)registered;
        rig.SpeedUp();
        profile.scope = rig.id();
        settings.Latitude = 45.0;
        settings.Longitude = -75.0;
        settings.IsGerman = true;
        hub = std::make_unique<hub::Hub>(settings, profile, ui, std::make_unique<hub::EngineRef>());
        // A mount with every kind of error, several arc minutes in all.
        ISVD* e = hub->engine().get();
        hub::Check(e->put_Latitude(45.0 * hub::kDegreesToRadians), "Latitude");
        hub::Check(e->put_German(-1), "German");
        hub::Check(e->put_HOffset(0.004), "HOffset");
        hub::Check(e->put_DecOffset(-0.003), "DecOffset");
        hub::Check(e->put_Collimation(0.002), "Collimation");
        hub::Check(e->put_AxisNonPerp(0.001), "AxisNonPerp");
        hub::Check(e->put_PolarLeftRight(0.0015), "PolarLeftRight");
        hub::Check(e->put_PolarVertical(-0.001), "PolarVertical");
        hub::Check(e->put_TubeFlex(0.0005), "TubeFlex");
        status = std::make_unique<hub::StatusLoop>(*hub);
        status->SetPollInterval(0);  // poll the mount on every tick
    }

    double DriverDouble(const char* member) {
        return ToDouble(hub->driver()->Get(QString::fromLatin1(member)), member);
    }

    IndiSimulatorRig rig;
    hub::Settings settings;
    IndiProfile profile;
    LoggingUi ui;
    std::unique_ptr<hub::Hub> hub;
    std::unique_ptr<hub::StatusLoop> status;
};

}  // namespace

TEST_F(HubOnIndiTest, AClientSlewPutsTheMountWhereTheModelSays) {
    hub::Telescope client(*hub);
    client.SetConnected(true);
    ASSERT_TRUE(hub->state().DriverConnected);
    EXPECT_TRUE(hub->state().CanReadSideOfPier);
    EXPECT_TRUE(hub->state().CanDestinationSideOfPier);
    // The hub's site on the mount, through the pass-through members.
    client.SetSiteLatitude(45.0);
    client.SetSiteLongitude(-75.0);

    // West of the meridian first (tube east of the pier), then east.
    for (const double ha : {5.5, -5.5}) {
        SCOPED_TRACE(ha);
        const double ra = RaAtHourAngle(client.SiderealTime(), ha);
        const double dec = 85.0;

        // What the hub is about to send: its pier side choice, then the
        // model and refraction, as of now.
        hub->ApplyPierSide(ra, dec);
        hub->UpdateSiderealTime();
        const hub::RaDec expected = hub->TrueToScopeRADec(ra, dec);
        EXPECT_EQ(hub->state().PierInverted, ha < 0.0);

        client.SlewToCoordinates(ra, dec);

        const double raS = DriverDouble("RightAscension");
        const double decS = DriverDouble("Declination");
        EXPECT_LT(ArcsecBetween(raS, decS, expected.ra, expected.dec), 3.0)
            << "mount at " << raS << " " << decS << ", model says " << expected.ra << " "
            << expected.dec;
        // The model moved the mount well away from the sky position.
        EXPECT_GT(ArcsecBetween(raS, decS, ra, dec), 300.0);
        EXPECT_EQ(ToInt(hub->driver()->Get("SideOfPier"), "SideOfPier"), ha < 0.0 ? 1 : 0);

        // The status loop reads the mount; the client sees its target.
        status->TimerTic();
        EXPECT_LT(ArcsecBetween(client.RightAscension(), client.Declination(), ra, dec), 3.0);
        // One status cycle after the mount stopped, the slew is over.
        status->TimerTic();
        EXPECT_FALSE(client.Slewing());
    }
    client.SetConnected(false);
    EXPECT_FALSE(hub->state().DriverConnected);
}

TEST_F(HubOnIndiTest, ALostServerIsReportedToEveryClientAndTheNextConnectionResumes) {
    const int32_t kLost = static_cast<int32_t>(0x80040407);
    hub::Telescope first(*hub);
    hub::Telescope second(*hub);
    first.SetConnected(true);
    second.SetConnected(true);
    status->TimerTic();
    const double dec = first.Declination();

    rig.Crash();
    // The next poll notices; from then on nothing comes from the last poll.
    ASSERT_TRUE(Eventually(
        [&] {
            status->TimerTic();
            return !first.Connected();
        },
        std::chrono::seconds(5)));
    for (hub::Telescope* client : {&first, &second}) {
        EXPECT_FALSE(client->Connected());
        for (const auto& [name, call] : std::vector<std::pair<const char*, std::function<void()>>>{
                 {"RightAscension", [&] { client->RightAscension(); }},
                 {"Declination", [&] { client->Declination(); }},
                 {"Slewing", [&] { client->Slewing(); }},
                 {"Tracking", [&] { client->Tracking(); }}}) {
            const dispatch::ComError e = ErrorOf(call);
            EXPECT_EQ(e.number(), kLost) << name;
            EXPECT_TRUE(e.description().startsWith("Lost the connection to the INDI server"))
                << name << ": " << e.description().toStdString();
        }
    }
    for (int i = 0; i < 5; ++i) status->TimerTic();
    EXPECT_TRUE(hub->state().StatusText.contains("Connection lost"))
        << hub->state().StatusText.toStdString();
    ASSERT_EQ(ui.logged.size(), 1) << ui.logged.join('\n').toStdString();
    EXPECT_TRUE(ui.logged[0].contains("no longer connected")) << ui.logged[0].toStdString();
    EXPECT_TRUE(ui.logged[0].contains("Lost the connection")) << ui.logged[0].toStdString();

    // With no server yet, connecting fails and says why.
    EXPECT_EQ(ErrorOf([&] { first.SetConnected(true); }).number(), kLost);
    EXPECT_FALSE(second.Connected());

    // A new server on the same port: the client that asks connects the
    // driver again, while the other still holds its connection.
    rig.StartAgain();
    first.SetConnected(true);
    EXPECT_TRUE(first.Connected());
    EXPECT_TRUE(second.Connected());
    EXPECT_EQ(hub->state().ConnectionCount, 2);
    status->TimerTic();
    EXPECT_NEAR(second.Declination(), dec, 1.0);
    EXPECT_EQ(ui.logged.size(), 2);

    // Both let go; the driver goes with the last.
    first.SetConnected(false);
    EXPECT_TRUE(hub->state().DriverConnected);
    second.SetConnected(false);
    EXPECT_FALSE(hub->state().DriverConnected);
}
