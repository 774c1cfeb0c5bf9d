// The hub on the simulator: the mount carries a hidden error model, the
// engine the same terms, and a client's slew must put the tube where the
// client asked.
#include <cmath>

#include "celaris/ascom/altaz.h"
#include "celaris/drivers/simulator/simulated_mount.h"
#include "celaris/hub/status_loop.h"
#include "hub_fixture.h"

using namespace celaris;
using namespace celaris::test;

namespace {

SimulatorOptions SimOptions() {
    SimulatorOptions o;
    o.slewRateDegPerSec = 90.0;  // real clock, quick slews
    o.hiddenTerms = HiddenTerms::Typical();
    return o;
}

SimulatedMount*& LastSim() {
    static SimulatedMount* sim = nullptr;
    return sim;
}

class EndToEnd : public HubTest {
  protected:
    void SetUp() override {
        static const bool once = [] {
            DriverFactory::Instance().Register(QStringLiteral("Test.Sim"), [](const QString&) {
                auto m = std::make_unique<SimulatedMount>(SimOptions());
                LastSim() = m.get();
                return std::unique_ptr<Driver>(std::move(m));
            });
            return true;
        }();
        (void)once;
        HubTest::SetUp();
        const SimulatorOptions o = SimOptions();
        settings.Latitude = o.latitudeDeg;
        settings.Longitude = o.longitudeDeg;
        settings.IsGerman = true;
        profile.scope = "Test.Sim";
        // The engine knows the site and carries the mount's error.
        ISVD* e = hub->engine().get();
        const HiddenTerms& t = o.hiddenTerms;
        e->put_Latitude(o.latitudeDeg * hub::kDegreesToRadians);
        e->put_German(1);
        e->put_Pressure(o.pressureKPa);
        e->put_Temperature(o.temperatureC);
        e->put_HOffset(t.hOffset);
        e->put_DecOffset(t.decOffset);
        e->put_PolarLeftRight(t.polarLeftRight);
        e->put_PolarVertical(t.polarVertical);
        e->put_Collimation(t.collimation);
        e->put_AxisNonPerp(t.axisNonPerp);
        e->put_TubeFlex(t.tubeFlex);
        e->put_DecFlex(t.decFlex);
        client = Connect();
    }

    // Arc seconds between the tube's true pointing and (ra, dec).
    double MissArcsec(double raHours, double decDeg) {
        const SkyPointing p = LastSim()->TruePointing();
        const double dRa =
            std::remainder(p.raHours - raHours, 24.0) * 15.0 * std::cos(decDeg * M_PI / 180.0);
        return std::hypot(dRa, p.decDeg - decDeg) * 3600.0;
    }

    std::unique_ptr<hub::Telescope> client;
};

}  // namespace

TEST_F(EndToEnd, SlewsLandOnTheSkyPositionOnBothSidesOfThePier) {
    hub->UpdateSiderealTime();
    const double lstHours = hub->SiderealAngle() * hub::kRadiansToHours;
    // Targets east and west of the meridian, north and south.
    for (const auto& [haHours, dec] :
         {std::pair{-2.5, 30.0}, {2.0, 60.0}, {-1.0, 5.0}, {3.0, -10.0}, {0.7, 75.0}}) {
        const double ra = std::fmod(lstHours - haHours + 48.0, 24.0);
        client->SlewToCoordinates(ra, dec);
        EXPECT_LT(MissArcsec(ra, dec), 2.0) << "HA " << haHours << " h, Dec " << dec;
        // The engine assumed the side the mount took.
        EXPECT_EQ(hub->engine().Inverted(), LastSim()->SideOfPier() == PierSide::pierWest);
    }
}

TEST_F(EndToEnd, ReportedPositionIsCorrectedBackToTheSky) {
    hub::StatusLoop loop(*hub);
    hub->UpdateSiderealTime();
    const double ra = std::fmod(hub->SiderealAngle() * hub::kRadiansToHours + 1.5, 24.0);
    client->SlewToCoordinates(ra, 40.0);
    loop.m_PollInterval = 0;
    loop.TimerTic();  // polls the raw position
    // What the client reads is where the tube points, not what the mount says.
    const SkyPointing p = LastSim()->TruePointing();
    EXPECT_NEAR(client->RightAscension(), p.raHours, 2.0 / 3600 / 15);
    EXPECT_NEAR(client->Declination(), p.decDeg, 2.0 / 3600);
    const double rawDec = hub->state().ScopeDec;
    EXPECT_GT(std::fabs(rawDec - p.decDeg) * 3600, 10.0);  // the mount alone is minutes off
}

TEST_F(EndToEnd, AltitudeAndAzimuthAreCorrectedWhereTheTubePoints) {
    hub->UpdateSiderealTime();
    const double ra = std::fmod(hub->SiderealAngle() * hub::kRadiansToHours + 2.0, 24.0);
    client->SlewToCoordinates(ra, 20.0);
    // The sky's altitude and azimuth of the true pointing, north through east.
    const SkyPointing p = LastSim()->TruePointing();
    const auto h =
        ascom::hadec_aa(settings.Latitude * hub::kDegreesToRadians,
                        p.hourAngleHours * hub::kHoursToRadians, p.decDeg * hub::kDegreesToRadians);
    const double alt = client->Altitude();
    const double az = client->Azimuth();
    EXPECT_NEAR(alt, h.altRad * hub::kRadiansToDegrees, 3.0 / 3600);
    EXPECT_NEAR(std::remainder(az - h.azRad * hub::kRadiansToDegrees, 360.0) *
                    std::cos(alt * hub::kDegreesToRadians),
                0.0, 3.0 / 3600);
}
