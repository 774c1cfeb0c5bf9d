// Synchronous motions in two steps, fresh positions after every command, the
// mount's site, and boxes that wait for the end of a client call.
#include <QCoreApplication>

#include "celaris/drivers/simulator/simulated_mount.h"
#include "celaris/hub/status_loop.h"
#include "hub_fixture.h"

using namespace celaris;
using namespace celaris::test;

namespace {

constexpr double kStartUnix = 1710892800.0;  // 2024-03-20T00:00:00Z

// The simulated mount the factory made last, and the clock it runs on.
struct MadeMount {
    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>(kStartUnix);
    SimulatorOptions options;
    SimulatedMount* mount = nullptr;
};
MadeMount& Made() {
    static MadeMount made;
    return made;
}

class MotionTest : public HubTest {
  protected:
    void SetUp() override {
        HubTest::SetUp();
        static const bool once = [] {
            DriverFactory::Instance().Register(
                QStringLiteral("Test.HubSimulator"), [](const QString&) -> std::unique_ptr<Driver> {
                    auto m = std::make_unique<SimulatedMount>(Made().options, Made().clock);
                    Made().mount = m.get();
                    return m;
                });
            return true;
        }();
        (void)once;
        Made() = MadeMount();
        Made().options.slewRateDegPerSec = 10.0;
        Made().options.hiddenTerms = HiddenTerms::None();
        profile.scope = QStringLiteral("Test.HubSimulator");
        settings.Latitude = 45.0;  // the simulator's own site
        settings.Longitude = -75.0;
        hub->SetClock([c = Made().clock] { return c->NowUnixSeconds(); });
        hub->SetLog([this](const QString& line) { log << line; });
    }
    SimulatedMount& mount() { return *Made().mount; }
    void Advance(double seconds) { Made().clock->Advance(seconds); }
    // The hub holds what the mount reports right now.
    void ExpectFresh(const char* after) {
        EXPECT_DOUBLE_EQ(hub->state().ScopeRA, mount().RightAscension()) << after;
        EXPECT_DOUBLE_EQ(hub->state().ScopeDec, mount().Declination()) << after;
    }
    // Settles the motion, advancing the mount's clock between the checks.
    bool Settle(hub::Telescope& t, const hub::MotionTicket& ticket) {
        for (int i = 0; i < 100; ++i) {
            if (t.MotionSettled(ticket)) return true;
            Advance(1.0);
        }
        return false;
    }
    QStringList log;
};

}  // namespace

TEST_F(MotionTest, TheFirstPositionAfterConnectingIsTheMounts) {
    auto t = Connect();
    ExpectFresh("Connected");
    EXPECT_NEAR(t->Declination(), 90.0, 0.1);  // the simulator starts at the pole
    EXPECT_TRUE(hub->state().SiteMismatch.isEmpty());
    EXPECT_TRUE(log.isEmpty());
}

TEST_F(MotionTest, EveryCommandThatMovesStopsOrSyncsReadsThePositionAgain) {
    auto t = Connect();
    t->SlewToCoordinatesAsync(std::fmod(mount().SiderealTime() + 22.0, 24.0), 20.0);
    Advance(3.0);
    t->AbortSlew();
    ExpectFresh("AbortSlew");
    EXPECT_FALSE(t->Slewing());
    t->SyncToCoordinates(5.0, 40.0);
    ExpectFresh("SyncToCoordinates");
    Advance(2.0);
    t->PulseGuide(GuideDirections::guideNorth, 500);
    ExpectFresh("PulseGuide");
    Advance(2.0);
    t->Park();
    ExpectFresh("Park");
}

TEST_F(MotionTest, ASynchronousSlewInTwoStepsEndsSettledOrAborted) {
    auto a = Connect();
    auto b = Connect();
    const double ra = std::fmod(mount().SiderealTime() + 22.0, 24.0);
    hub::MotionTicket ticket = a->BeginSlewToCoordinates(ra, 10.0);
    EXPECT_TRUE(mount().Slewing());  // started asynchronously
    EXPECT_FALSE(a->MotionSettled(ticket));
    ASSERT_TRUE(Settle(*a, ticket));
    EXPECT_FALSE(a->Slewing());  // settled: nothing left for the status loop
    ExpectFresh("the end of the slew");
    EXPECT_NEAR(a->Declination(), 10.0, 0.05);

    // Another client's abort ends the waiting call with its own error.
    ticket = a->BeginSlewToCoordinates(std::fmod(ra + 3.0, 24.0), 60.0);
    Advance(1.0);
    EXPECT_FALSE(a->MotionSettled(ticket));
    b->AbortSlew();
    EXPECT_FALSE(mount().Slewing());
    const auto e = ErrorOf([&] { a->MotionSettled(ticket); });
    EXPECT_EQ(e.number(), static_cast<int32_t>(0x8004040B));
    EXPECT_EQ(e.source(), "ASCOM Telescope Hub for Celaris");
    EXPECT_EQ(e.description(), "SlewToCoordinates ended early: AbortSlew stopped the mount.");

    // Park and home end where they were going, or early.
    ticket = a->BeginFindHome();
    EXPECT_FALSE(a->MotionSettled(ticket));
    ASSERT_TRUE(Settle(*a, ticket));
    EXPECT_TRUE(a->AtHome());
    a->SlewToCoordinatesAsync(std::fmod(ra + 1.0, 24.0), 30.0);
    Advance(30.0);
    ticket = a->BeginPark();
    Advance(1.0);
    mount().AbortSlew();  // stopped at the mount, not through the hub
    EXPECT_EQ(ErrorOf([&] { a->MotionSettled(ticket); }).description(),
              "Park ended early: the mount stopped before it arrived.");
    ticket = a->BeginPark();
    ASSERT_TRUE(Settle(*a, ticket));
    EXPECT_TRUE(a->AtPark());
    ExpectFresh("Park");
}

TEST_F(MotionTest, AMountOnAnotherSiteIsReportedOnceAtConnection) {
    Made().options.latitudeDeg = 45.02;
    auto a = Connect();
    auto b = Connect();
    EXPECT_TRUE(hub->state().SiteMismatch.contains("latitude 45.0200"));
    EXPECT_EQ(log.size(), 1);
    a.reset();
    b.reset();
    Made().options.latitudeDeg = 45.0;
    Made().options.longitudeDeg = -74.995;  // within 0.01 degrees
    Connect();
    EXPECT_TRUE(hub->state().SiteMismatch.isEmpty());
}

TEST_F(HubTest, ABoxRaisedInAClientCallIsShownAfterItReturns) {
    auto t = Connect();
    hub::StatusLoop loop(*hub);
    loop.SetCrossRef([](const QString&) -> QString {
        throw dispatch::ComError(static_cast<int32_t>(0x80040500), "Chooser", "No such driver.");
    });
    EXPECT_TRUE(t->Connected());  // its status update fails
    EXPECT_TRUE(ui.shown().isEmpty());
    QCoreApplication::processEvents();
    ASSERT_EQ(ui.shown().size(), 1);
    EXPECT_TRUE(ui.shown()[0].text.endsWith("No such driver."));
    // Outside a client call the box is shown at once.
    loop.UpdateStatus();
    EXPECT_EQ(ui.shown().size(), 2);
}
