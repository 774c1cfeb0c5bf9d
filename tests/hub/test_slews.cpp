// Corrected slews, limits, pier side and the two-leg anti-backlash slew.
#include <cmath>
#include <initializer_list>
#include <limits>
#include <utility>

#include "celaris/hub/status_loop.h"
#include "hub_fixture.h"

using namespace celaris;
using namespace celaris::test;

namespace {
constexpr double kBacklash60 = 2.908882086657216e-4;  // 60 arc seconds in radians

class SlewTest : public HubTest {
  protected:
    void SetUp() override {
        HubTest::SetUp();
        scope = Connect();
        loop = std::make_unique<hub::StatusLoop>(*hub);
        driver().slewStartsSlewing = true;
        driver().Set("DestinationSideOfPier", 0);
    }
    double TargetRA() { return driver().Value("TargetRightAscension").toDouble(); }
    double TargetDec() { return driver().Value("TargetDeclination").toDouble(); }
    void MountStops() { driver().Set("Slewing", false); }
    // A two-leg slew with a 1 s pause whose first leg has just ended.
    void StartTwoLegSlewWithPause() {
        settings.AntiBacklash = true;
        settings.BacklashRad = kBacklash60;
        settings.FirstSlewPause = true;
        settings.SlewPause = 1.0;
        scope->SlewToCoordinatesAsync(6.0, -10.0);
        MountStops();
    }

    std::unique_ptr<hub::Telescope> scope;
    std::unique_ptr<hub::StatusLoop> loop;
};
}  // namespace

TEST_F(SlewTest, WithoutAntiBacklashTheScopeTargetGoesStraightToTheDriver) {
    scope->SlewToCoordinatesAsync(10.0, 20.0);
    // With a zero model the scope frame is the sky frame.
    EXPECT_NEAR(TargetRA(), 10.0, 1e-9);
    EXPECT_NEAR(TargetDec(), 20.0, 1e-9);
    EXPECT_EQ(driver().Calls("call SlewToTargetAsync").size(), 1);
    EXPECT_TRUE(scope->Slewing());
    MountStops();
    EXPECT_TRUE(scope->Slewing());  // until a status update has seen it stop
    loop->UpdateStatus();
    EXPECT_FALSE(scope->Slewing());
    EXPECT_FALSE(hub->state().ObservationTaken);
    EXPECT_FALSE(loop->controls().slewControlsEnabled);
    loop->UpdateStatus();  // the next update finds the slew complete
    EXPECT_TRUE(loop->controls().slewControlsEnabled);
    EXPECT_FALSE(loop->controls().cmdStopSlewEnabled);
}

TEST_F(SlewTest, AntiBacklashLegsApproachFromOneSide) {
    settings.AntiBacklash = true;
    settings.BacklashRad = kBacklash60;
    scope->SlewToCoordinatesAsync(10.0, 20.0);
    // First leg: 8 seconds of time east, 0.0333 degrees south.
    EXPECT_NEAR(TargetRA(), 10.0 + 0.0022222222, 1e-7);
    EXPECT_NEAR(TargetDec(), 20.0 - 0.0333333333, 1e-7);
    EXPECT_NEAR(hub->state().FinalTargetRA, 10.0, 1e-9);

    MountStops();
    loop->UpdateStatus();  // counts the settle down
    EXPECT_TRUE(scope->Slewing());
    EXPECT_EQ(driver().slews, 1);
    loop->UpdateStatus();  // issues the final leg
    EXPECT_EQ(driver().slews, 2);
    EXPECT_NEAR(TargetRA(), 10.0, 1e-9);
    EXPECT_NEAR(TargetDec(), 20.0, 1e-9);
    EXPECT_TRUE(hub->state().SecondLegDone);
    EXPECT_TRUE(scope->Slewing());

    MountStops();
    EXPECT_TRUE(scope->Slewing());  // one status cycle after the final leg
    loop->UpdateStatus();
    EXPECT_FALSE(scope->Slewing());
}

TEST_F(SlewTest, ApproachWrapsAtTwentyFourHoursAndStopsShortOfThePoles) {
    settings.AntiBacklash = true;
    settings.BacklashRad = kBacklash60;
    hub::RaDec a = hub->AntiBacklashApproach(23.999, -89.99);
    EXPECT_NEAR(a.ra, 23.999 + 0.0022222222 - 24.0, 1e-7);
    EXPECT_EQ(a.dec, -89.9999);
    hub->state().PierInverted = true;
    a = hub->AntiBacklashApproach(12.0, 89.99);
    EXPECT_EQ(a.dec, 89.9999);
    a = hub->AntiBacklashApproach(12.0, 10.0);
    EXPECT_NEAR(a.dec, 10.0 + 0.0333333333, 1e-7);  // north on the flipped side
    // An inverted pier side chosen by the driver's answer.
    settings.PierSideModel = 2;
    driver().Set("DestinationSideOfPier", 1);
    hub->state().PierInverted = false;
    scope->SlewToCoordinatesAsync(3.0, 30.0);
    EXPECT_TRUE(hub->state().PierInverted);
    EXPECT_TRUE(hub->engine().Inverted());
    EXPECT_NEAR(TargetDec(), 30.0 + 0.0333333333, 1e-7);
}

TEST_F(SlewTest, PauseBeforeTheFinalLegAndAbortDuringIt) {
    StartTwoLegSlewWithPause();
    loop->UpdateStatus();  // settle
    loop->UpdateStatus();  // the pause starts
    EXPECT_TRUE(hub->PauseClockRunning());
    EXPECT_EQ(driver().slews, 1);
    for (int i = 0; i < 5; ++i) hub->PauseClockTick();
    loop->UpdateStatus();
    EXPECT_EQ(driver().slews, 1);  // still pausing

    scope->AbortSlew();
    EXPECT_EQ(driver().Calls("call AbortSlew").size(), 1);
    loop->UpdateStatus();
    EXPECT_FALSE(scope->Slewing());
    for (int i = 0; i < 20; ++i) hub->PauseClockTick();
    loop->UpdateStatus();
    EXPECT_EQ(driver().slews, 1);  // the final leg was cancelled
    EXPECT_EQ(hub->PauseClock(), 0.0);
}

TEST_F(SlewTest, PauseElapsesThenTheFinalLegFollows) {
    StartTwoLegSlewWithPause();
    loop->UpdateStatus();
    int ticks = 0;
    while (driver().slews == 1 && ticks < 30) {
        loop->UpdateStatus();
        hub->PauseClockTick();
        ++ticks;
    }
    EXPECT_EQ(driver().slews, 2);
    EXPECT_GE(ticks, 10);  // a second at 100 ms a tick
    EXPECT_LE(ticks, 12);
}

TEST_F(SlewTest, LimitsRefuseASlewAndSendNothing) {
    // A target exactly on the limit lands either side of it after the round
    // trip through the horizon frame, depending on the sidereal time: one
    // fixed instant.
    hub->SetClock([] { return 1710892800.0; });  // 2024-03-20T00:00:00Z
    settings.EnforceLimits = true;
    settings.DecLimitRad = 80.0 * hub::kDegreesToRadians;
    settings.AntiBacklash = true;
    const int puts = driver().Calls("put Target").size();
    const auto e = ErrorOf([&] { scope->SlewToCoordinates(5.0, 80.0); });
    EXPECT_EQ(e.number(), 1031);
    EXPECT_EQ(e.source(), "ASCOM Telescope Hub for Celaris");
    EXPECT_EQ(e.description(), "User specified slew limits exceeded.");
    EXPECT_EQ(driver().Calls("put Target").size(), puts);
    EXPECT_EQ(driver().slews, 0);
    EXPECT_TRUE(hub->state().SecondLegDone);  // nothing pending
    EXPECT_EQ(hub->state().SettleCount, 0);
    EXPECT_EQ(hub->state().TargetDec, 80.0);  // the refused target is remembered
    // Declination is an upper limit with its sign: far south is fine.
    scope->SlewToCoordinates(5.0, -85.0);
    EXPECT_EQ(driver().slews, 1);
    // Not enforced: the same target goes through.
    settings.EnforceLimits = false;
    scope->SlewToCoordinates(5.0, 80.0);
    EXPECT_EQ(driver().slews, 2);
}

TEST_F(SlewTest, PierSideKeepsItsChoiceInsideTheMeridianBand) {
    hub->state().CanDestinationSideOfPier = false;
    settings.FlipLimitERad = settings.FlipLimitWRad = 5.0 * hub::kDegreesToRadians;
    hub->UpdateSiderealTime();
    const double lst = hub->SiderealAngle();
    auto raAtHourAngle = [&](double haHours) {
        return hub::NormaliseRadians(lst - haHours * hub::kHoursToRadians) * hub::kRadiansToHours;
    };
    hub->ApplyPierSide(raAtHourAngle(2.0), 10.0);  // west of the meridian: flipped
    EXPECT_TRUE(hub->state().PierInverted);
    hub->ApplyPierSide(raAtHourAngle(0.1), 10.0);  // inside the band: kept
    EXPECT_TRUE(hub->state().PierInverted);
    hub->ApplyPierSide(raAtHourAngle(-2.0), 10.0);
    EXPECT_FALSE(hub->state().PierInverted);
    hub->ApplyPierSide(raAtHourAngle(-0.1), 10.0);
    EXPECT_FALSE(hub->state().PierInverted);
    // A forced model decides only outside the band.
    settings.PierSideModel = 1;
    hub->ApplyPierSide(raAtHourAngle(0.1), 10.0);
    EXPECT_FALSE(hub->state().PierInverted);
    hub->ApplyPierSide(raAtHourAngle(-2.0), 10.0);
    EXPECT_TRUE(hub->state().PierInverted);
    // A fork mount never flips.
    settings.IsGerman = false;
    settings.PierSideModel = 0;
    hub->ApplyPierSide(raAtHourAngle(-2.0), 10.0);
    EXPECT_TRUE(hub->state().PierInverted);
}

TEST_F(SlewTest, TargetSettersWriteTheScopeFrameInTheDocumentedOrder) {
    hub->engine()->put_HOffset(0.001);  // a model that moves the hour angle
    scope->SetTargetDeclination(15.0);
    scope->SetTargetRightAscension(4.0);
    const QStringList puts = driver().Calls("put Target");
    ASSERT_GE(puts.size(), 4);
    EXPECT_TRUE(puts[puts.size() - 2].startsWith("put TargetDeclination"));
    EXPECT_TRUE(puts[puts.size() - 1].startsWith("put TargetRightAscension"));
    // Scope RA = true RA + HOffset in hours.
    EXPECT_NEAR(TargetRA(), 4.0 + 0.001 * hub::kRadiansToHours, 1e-9);
    // The getter turns the driver's scope target back into the sky frame.
    EXPECT_NEAR(scope->TargetRightAscension(), 4.0, 1e-9);
    EXPECT_NEAR(scope->TargetDeclination(), 15.0, 1e-9);
}

TEST_F(SlewTest, SyncsGoThroughTheModelButLeaveItAlone) {
    hub->engine()->put_DecOffset(0.002);
    scope->SyncToCoordinates(7.0, 30.0);
    EXPECT_EQ(driver().lastArgs.size(), 2);
    EXPECT_NEAR(driver().lastArgs[1].toDouble(), 30.0 - 0.002 * hub::kRadiansToDegrees, 1e-9);
    double off = 0;
    hub->engine()->get_DecOffset(&off);
    EXPECT_EQ(off, 0.002);
    EXPECT_EQ(hub->state().TargetRA, 7.0);
}

TEST_F(SlewTest, CorrectedPositionUsesTheLastPoll) {
    hub->engine()->put_HOffset(0.001);
    driver().Set("RightAscension", 3.0);
    driver().Set("Declination", 45.0);
    loop->m_PollInterval = 0;
    loop->TimerTic();
    EXPECT_EQ(hub->state().ScopeRA, 3.0);
    EXPECT_EQ(hub->state().ScopeDec, 45.0);
    // Corrected RA = scope RA - HOffset (the true hour angle is larger).
    EXPECT_NEAR(scope->RightAscension(), 3.0 - 0.001 * hub::kRadiansToHours, 1e-9);
    EXPECT_NEAR(scope->Declination(), 45.0, 1e-9);
    // Between polls the driver is not asked.
    const int gets = driver().Calls("get RightAscension").size();
    scope->RightAscension();
    EXPECT_EQ(driver().Calls("get RightAscension").size(), gets);
}

TEST_F(SlewTest, PollPeriodAndStatusText) {
    loop->SetPollInterval(1.0);
    EXPECT_EQ(loop->m_PollInterval, 5);
    int polls = 0;
    for (int i = 0; i < 12; ++i) {
        const int before = driver().Calls("get RightAscension").size();
        loop->TimerTic();
        polls += driver().Calls("get RightAscension").size() - before;
    }
    EXPECT_EQ(polls, 2);  // every sixth tick
    loop->SetPollInterval(0.5);
    EXPECT_EQ(loop->m_PollInterval, 2);  // 2.5 ticks round to even
    // The loop and the settings agree at the edges: a negative interval polls
    // on every tick, beyond 16 bits saturates, not a number is the default.
    const double inf = std::numeric_limits<double>::infinity();
    for (auto [seconds, ticks] :
         std::initializer_list<std::pair<double, int16_t>>{{-1.0, 0},
                                                           {-inf, 0},
                                                           {0.0, 0},
                                                           {0.1, 0},
                                                           {6553.4, 32767},
                                                           {6553.5, 32767},
                                                           {1e9, 32767},
                                                           {inf, 32767},
                                                           {std::nan(""), 5}}) {
        loop->SetPollInterval(seconds);
        EXPECT_EQ(loop->m_PollInterval, ticks) << seconds;
        EXPECT_EQ(profile::PollTicks(seconds), ticks) << seconds;
    }
    loop->SetPollInterval(0.5);
    loop->SetCrossRef([](const QString& id) { return id == "Test.Scripted" ? "Scripted" : id; });
    settings.PierSideModel = 2;
    hub->state().CanReadSideOfPier = false;
    loop->UpdateStatus();
    EXPECT_EQ(hub->state().StatusText, "Link: Scripted\r\nConnected - Pier Normal (estimated)");
    profile.scope.clear();
    scope.reset();
    loop->UpdateStatus();
    EXPECT_EQ(hub->state().StatusText, "Link: None Selected\r\nNot Connected");
}

TEST(NormaliseRadians, FoldsByTheTruncatedTurn) {
    // A full exact turn is just over one truncated turn: what remains is the
    // difference, not zero.
    EXPECT_EQ(hub::NormaliseRadians(units::kTwoPi), units::kTwoPi - 6.28318530717958);
    EXPECT_GT(hub::NormaliseRadians(units::kTwoPi), 0.0);
    EXPECT_EQ(hub::NormaliseRadians(-0.5), -0.5 + 6.28318530717958);
    EXPECT_EQ(hub::NormaliseRadians(1.0 + 6.28318530717958), 1.0);
    EXPECT_EQ(hub::NormaliseRadians(0.0), 0.0);
}
