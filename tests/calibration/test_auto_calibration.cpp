// The automatic calibration's rules: the sky pattern, which points are
// taken, and the run's states with a scripted camera and solver on the
// built-in simulated mount, all on one manual clock.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QTimer>
#include <cmath>
#include <map>
#include <set>

#include "celaris/calibration/auto_calibration.h"
#include "celaris/calibration/calibration_store.h"
#include "celaris/drivers/simulator/simulated_mount.h"
#include "celaris/hub/program.h"
#include "celaris/hub/telescope.h"
#include "celaris/profile/settings.h"
#include "scripted_ui.h"
#include "simulator_profile.h"

using namespace celaris;
using namespace celaris::calibration;

namespace {

constexpr double kDeg = M_PI / 180.0;

// --- The pattern -----------------------------------------------------------

TEST(AutoGrid, RoundsHalvesToEven) {
    EXPECT_EQ(RoundHalfEven(2.5), 2);
    EXPECT_EQ(RoundHalfEven(3.5), 4);
    EXPECT_EQ(RoundHalfEven(-0.5), 0);
    EXPECT_EQ(RoundHalfEven(-1.5), -2);
    EXPECT_EQ(RoundHalfEven(2.4999), 2);
    // Altitudes halfway between rows (as the run's own row of 10 degrees
    // divides them) go to the even row; an azimuth of 1.5 sectors rounds
    // to sector 2.
    constexpr double kRow = 0.17453292519943278;
    EXPECT_EQ(OriginOf(2.5 * kRow, 0).a0, 2);
    EXPECT_EQ(OriginOf(3.5 * kRow, 0).a0, 4);
    EXPECT_NEAR(OriginOf(0, 16.875 * kDeg).az0Rad / kDeg, 28.125, 1e-9);
    // Half a sector beyond the last sector folds back past north.
    EXPECT_NEAR(OriginOf(0, 359 * kDeg).az0Rad / kDeg, 5.625, 1e-9);
}

TEST(AutoGrid, StartsInTheMountsSectorAndRow) {
    const GridOrigin o = OriginOf(23 * kDeg, 100 * kDeg);
    EXPECT_EQ(o.a0, 2);
    EXPECT_NEAR(o.az0Rad / kDeg, 106.875, 1e-9);
    Grid g;
    ASSERT_EQ(BuildGrid(o, g), kGridPoints);
    // Column 0 runs upwards from the mount's row to 80 degrees...
    for (int k = 0; k <= 6; ++k) {
        EXPECT_NEAR(g[size_t(k)].altRad / kDeg, 20 + 10 * k, 1e-9) << k;
        EXPECT_NEAR(g[size_t(k)].azRad / kDeg, 106.875, 1e-9) << k;
    }
    // ...column 1 runs down from 40 degrees one sector on...
    EXPECT_NEAR(g[7].altRad / kDeg, 40, 1e-9);
    EXPECT_NEAR(g[7].azRad / kDeg, 118.125, 1e-9);
    EXPECT_NEAR(g[11].altRad / kDeg, 0, 1e-9);
    // ...and the lower part of column 0 closes the pattern.
    EXPECT_NEAR(g[202].altRad / kDeg, 0, 1e-9);
    EXPECT_NEAR(g[203].altRad / kDeg, 10, 1e-9);
    EXPECT_NEAR(g[203].azRad / kDeg, 106.875, 1e-9);
}

TEST(AutoGrid, EveryStartingRowGivesTheSame204Points) {
    std::multiset<std::pair<long, long>> first;
    for (int a0 = -3; a0 <= 9; ++a0) {
        Grid g;
        g.fill({-99, -99});
        GridOrigin o{a0, 50 * kDeg};
        ASSERT_EQ(BuildGrid(o, g), kGridPoints) << a0;
        std::map<long, int> perColumn;
        std::multiset<std::pair<long, long>> points;
        for (const GridPoint& p : g) {
            ASSERT_GE(p.altRad, 0.0) << a0;
            ASSERT_LT(p.azRad, 2 * M_PI);
            const long column = std::lround((p.azRad / kDeg - 50 + 360) / 11.25) % 32;
            ++perColumn[column];
            points.insert({std::lround(p.altRad / kDeg), column});
        }
        ASSERT_EQ(perColumn.size(), 32u);
        for (const auto& [u, n] : perColumn) {
            const int expected = u == 0 ? 9 : u % 2 ? 5 : u % 8 == 0 ? 9 : u % 4 == 0 ? 8 : 7;
            EXPECT_EQ(n, expected) << "column " << u << " start " << a0;
        }
        // Every start visits the same set of positions; a start below -5
        // degrees is the pattern of the 0 degree row.
        if (a0 == -3)
            first = points;
        else
            EXPECT_EQ(points, first) << a0;
        if (a0 <= 0) {
            EXPECT_NEAR(g[0].altRad, 0, 1e-12) << a0;
            EXPECT_NEAR(g[8].altRad / kDeg, 80, 1e-9) << a0;
        }
    }
}

// --- Scripted devices ------------------------------------------------------

struct FakeCamera : camera::Camera {
    int exposures = 0, aborts = 0, saves = 0;
    int readyTicks = 0;  // ImageReady calls still false
    bool exposing = false;
    bool failReady = false;
    bool refuse = false;
    int binX = 1, binY = 1, filter = 0;
    QString Description() const override { return QStringLiteral("fake"); }
    void SetLinked(bool) override {}
    bool Linked() override { return true; }
    int MaxBinX() override { return 4; }
    int MaxBinY() override { return 2; }
    int BinX() override { return binX; }
    void SetBinX(int b) override { binX = b; }
    int BinY() override { return binY; }
    void SetBinY(int b) override { binY = b; }
    bool HasFilterWheel() override { return true; }
    QStringList FilterNames() override { return {QStringLiteral("L"), QStringLiteral("R")}; }
    int Filter() override { return filter; }
    void SetFilter(int f) override { filter = f; }
    bool StartExposure(double, bool, int) override {
        if (refuse) return false;
        ++exposures;
        exposing = true;
        readyTicks = 1;
        return true;
    }
    void AbortExposure() override {
        ++aborts;
        exposing = false;
    }
    bool ImageReady() override {
        if (failReady)
            throw camera::ComError(camera::kCameraFailure, QStringLiteral("fake"),
                                   QStringLiteral("The camera went away."));
        if (!exposing) return false;
        if (readyTicks-- > 0) return false;
        exposing = false;
        return true;
    }
    void PrepareImage() override {}
    double PixelSizeX() override { return 9; }
    double PixelSizeY() override { return 9; }
    void SaveImage(const QString&) override { ++saves; }
};

// Solves by returning the starting guess, at the scale it is told to find;
// each step ends on the next turn of the event loop.
struct FakeSolver : solver::PlateSolver {
    int solves = 0;            // first-pass FindImageStars calls
    std::set<int> failSolves;  // these (1-based) first passes find nothing
    double solvedScale = 0;    // arc seconds a binned pixel; 0: as set
    int detaches = 0;
    int failDetach = 0;        // this (1-based) DetachFITS call throws
    bool failCatalog = false;  // FindCatalogStars finds nothing
    std::optional<ComError> error;
    bool running = false;
    void AttachFITS(const QString&) override {}
    void DetachFITS() override {
        if (++detaches == failDetach)
            throw ComError(solver::kSolverFailure, QStringLiteral("fake solver"),
                           QStringLiteral("The image is locked."));
    }
    void UpdateFITS() override {}
    void End(solver::SolverStep step, bool ok) {
        running = true;
        QTimer::singleShot(0, this, [this, step, ok] {
            running = false;
            error = ok ? std::nullopt
                       : std::optional<ComError>(ComError(solver::kSolverFailure,
                                                          QStringLiteral("fake solver"),
                                                          QStringLiteral("No stars found.")));
            emit stepEnded(step, ok);
        });
    }
    void FindImageStars() override {
        const bool firstPass = CatalogExpansion != 0.1;
        if (firstPass) ++solves;
        End(solver::SolverStep::FindImageStars, !failSolves.contains(solves) || !firstPass);
    }
    void FindCatalogStars() override { End(solver::SolverStep::FindCatalogStars, !failCatalog); }
    void Solve() override {
        if (solvedScale > 0) ArcsecPerPixelHoriz = ArcsecPerPixelVert = solvedScale;
        End(solver::SolverStep::Solve, true);
    }
    bool busy() const override { return running; }
    std::optional<ComError> lastError() const override { return error; }
    solver::StarCollection ImageStars() const override { return {40}; }
    solver::StarCollection CatalogStars() const override { return {30}; }
    solver::StarCollection MatchedStars() const override { return {20}; }
};

constexpr double kStartUnix = 1710903600.0;  // 2024-03-20T03:00:00Z

std::shared_ptr<ManualClock>& Clock() {
    static std::shared_ptr<ManualClock> clock;
    return clock;
}
SimulatedMount*& Sim() {
    static SimulatedMount* sim = nullptr;
    return sim;
}

class AutoRunTest : public ::testing::Test {
  protected:
    void SetUp() override {
        static const bool once = [] {
            DriverFactory::Instance().Register(QStringLiteral("Test.AutoSim"), [](const QString&) {
                SimulatorOptions o;
                o.slewRateDegPerSec = 20.0;
                auto m = std::make_unique<SimulatedMount>(o, Clock());
                Sim() = m.get();
                return std::unique_ptr<Driver>(std::move(m));
            });
            return true;
        }();
        (void)once;
        Clock() = std::make_shared<ManualClock>(kStartUnix);
        ASSERT_TRUE(dir.isValid());
        const QString path = dir.filePath(QStringLiteral("profile.json"));
        test::WriteSimulatorProfile(path, SimulatorOptions(), QStringLiteral("Test.AutoSim"));
        program = std::make_unique<hub::Program>(ui, path);
        const auto clock = Clock();
        program->hub().SetClock([clock] { return clock->NowUnixSeconds(); });
        store = std::make_unique<CalibrationStore>(*program);
        client = std::make_unique<hub::Telescope>(program->hub());
        client->SetConnected(true);
        program->status().m_PollInterval = 0;
        store->StartCalibration();
        run = std::make_unique<AutoCalibration>(*program, *store);
        run->SetManualTicks(true);
        run->SetClock([clock] { return clock->NowUnixSeconds(); });
        run->SetCameraFactory([this] {
            auto c = std::make_unique<FakeCamera>();
            cam = c.get();
            return std::unique_ptr<camera::Camera>(std::move(c));
        });
        run->SetSolverFactory([this] {
            auto s = std::make_unique<FakeSolver>();
            solver = s.get();
            return std::unique_ptr<solver::PlateSolver>(std::move(s));
        });
        run->SetImagePath(dir.filePath(QStringLiteral("temp.fit")));
        run->Load();
        ASSERT_TRUE(run->Activate());
    }
    void TearDown() override {
        run.reset();
        client.reset();
        store.reset();
        program.reset();
    }
    // One tick of the run, half a second later, after the status loop and
    // whatever the solver finished meanwhile.
    void Tick() {
        Clock()->Advance(0.5);
        program->status().TimerTic();
        QCoreApplication::processEvents();
        run->Tick();
        QCoreApplication::processEvents();
    }
    void TickUntil(const std::function<bool()>& done, int limit = 400) {
        for (int i = 0; i < limit && !done(); ++i) Tick();
        ASSERT_TRUE(done());
    }
    void LowHorizon() {
        program->settings().HorizonRad.fill(-0.2);
        program->hub().state();  // the horizon is read from the settings each time
    }
    // Points moved to, in order.
    QList<int> Visited() const {
        QList<int> out;
        for (const PointTiming& t : run->timings())
            if (t.point > 0) out.append(t.point);
        return out;
    }

    test::ScriptedUi ui;
    QTemporaryDir dir;
    std::unique_ptr<hub::Program> program;
    std::unique_ptr<CalibrationStore> store;
    std::unique_ptr<hub::Telescope> client;
    std::unique_ptr<AutoCalibration> run;
    FakeCamera* cam = nullptr;
    FakeSolver* solver = nullptr;
};

TEST_F(AutoRunTest, ActivationFillsTheBinLabelAndFilters) {
    EXPECT_EQ(run->lblBin, QStringLiteral("Bin (Max 4)"));
    EXPECT_EQ(run->lstFilters, (QStringList{QStringLiteral("L"), QStringLiteral("R")}));
    // The stored filter 1 is within the wheel.
    EXPECT_EQ(run->lstFiltersIndex, 1);
    EXPECT_EQ(run->step(), 1);
    EXPECT_EQ(run->txtCatPath, QStringLiteral("/usr/share/astrometry"));
}

TEST_F(AutoRunTest, DefaultHorizonRefusesTheLowRowsAndEveryRefusalUsesAStep) {
    run->SelectAccuracy(2);  // ~25 Stars, step 4
    run->Start();
    EXPECT_EQ(run->lblStarfixStatus, QStringLiteral("Starting automatic calibration."));
    TickUntil([&] { return !run->running(); }, 4000);
    EXPECT_EQ(run->lblCalStatus, QStringLiteral("Run Complete"));
    EXPECT_EQ(run->lblStarfixStatus,
              QStringLiteral("Calibration run complete\r\nRecommend saving calibration file"));
    const QList<int> visited = Visited();
    ASSERT_GE(visited.size(), 5);
    EXPECT_EQ(visited.first(), 1);
    for (qsizetype k = 1; k < visited.size(); ++k) {
        EXPECT_EQ((visited[k] - 1) % 4, 0) << visited[k];
        EXPECT_GT(visited[k], visited[k - 1]);
        EXPECT_GE(run->grid()[size_t(visited[k] - 1)].altRad, 29.9 * kDeg) << visited[k];
    }
    // One observation per point, the last point's too. The start image,
    // taken where the mount stands parked at the pole, is solved (it
    // refines the scale) but its meaningless hour angle is kept out of the
    // fit.
    EXPECT_EQ(store->ObservationCount(), visited.size());
    for (const Observation& o : store->observations()) EXPECT_LT(std::abs(o.DecScope), 89.5 * kDeg);
    EXPECT_EQ(run->progbarCal, kGridPoints);
    EXPECT_TRUE(run->paused());
    EXPECT_TRUE(run->cmdStartEnabled);
    EXPECT_FALSE(run->cmdStopEnabled);
}

TEST_F(AutoRunTest, SixStarsVisitsEverySixteenthPointThatPasses) {
    LowHorizon();
    run->SelectAccuracy(4);
    run->Start();
    TickUntil([&] { return !run->running(); }, 4000);
    const QList<int> visited = Visited();
    QList<int> expected;
    for (int p = 1; p <= kGridPoints; p += 16) expected.append(p);
    // With the horizon out of the way only the limits refuse points: none
    // at this site and mount.
    EXPECT_EQ(visited, expected);
    EXPECT_EQ(store->ObservationCount(), expected.size());
}

TEST_F(AutoRunTest, StopWhileExposingAbortsAndResumeExposesAgainAtTheSamePoint) {
    run->Start();
    TickUntil([&] { return run->pointIndex() == 1 && run->state() == kWaitImage; });
    const int exposures = cam->exposures;
    run->Stop();
    EXPECT_EQ(cam->aborts, 1);
    EXPECT_EQ(run->state(), kExpose);
    EXPECT_TRUE(run->paused());
    EXPECT_TRUE(run->cmdResumeEnabled);
    EXPECT_EQ(run->lblStarfixStatus,
              QStringLiteral("Automatic calibration paused by user. Press RESUME to continue "
                             "where you left off.  Press START to start afresh."));
    Tick();  // the timer is off
    EXPECT_EQ(cam->exposures, exposures);
    run->Resume();
    Tick();
    EXPECT_EQ(cam->exposures, exposures + 1);
    EXPECT_EQ(run->pointIndex(), 1);
    EXPECT_EQ(run->lblCalStatus, QStringLiteral("Exposing image"));
}

TEST_F(AutoRunTest, StopWhileSlewingAbortsTheSlewAndResumeWaitsForStillness) {
    run->Start();
    // The start image is fetched; the next tick moves to point 1.
    TickUntil([&] { return run->state() == kMoveAndSolve; });
    // Far away so that the slew lasts.
    Tick();
    ASSERT_EQ(run->state(), kWaitSlewSolveSettle);
    ASSERT_TRUE(Sim()->Slewing());
    const auto aborts = program->hub().Aborts();
    run->Stop();
    EXPECT_FALSE(Sim()->Slewing());
    EXPECT_GT(program->hub().Aborts(), aborts);
    run->Resume();
    TickUntil([&] { return run->state() == kWaitImage; });
    EXPECT_EQ(run->pointIndex(), 1);
}

TEST_F(AutoRunTest, AFailedSolveGoesOnAndIsRetriedOnceAtTheEnd) {
    LowHorizon();
    run->SelectAccuracy(4);
    solver->failSolves = {3};  // the image of point 17 (the start image is solve 1)
    run->Start();
    TickUntil([&] { return solver->solves == 3 && !run->solving(); });
    EXPECT_EQ(run->lblStarfixStatus, QStringLiteral("No stars found."));
    EXPECT_EQ(run->retryQueue(), QList<int>{17});
    EXPECT_TRUE(run->running());
    TickUntil([&] { return !run->running(); }, 4000);
    const QList<int> visited = Visited();
    EXPECT_EQ(visited.last(), 17);
    EXPECT_EQ(visited.count(17), 2);
    // Every image solved except the first try at 17; the start image at
    // the pole is not added.
    EXPECT_EQ(store->ObservationCount(), visited.size() - 1);
}

// The image not detaching between the passes or after the second, or the
// catalogue search failing, leaves the solver unusable: the run halts at
// once, says why, adds nothing and queues no retry; Start begins afresh.
TEST_F(AutoRunTest, ASolverThatCannotGoOnHaltsTheRun) {
    struct Case {
        // An image detaches twice: between the passes and after the second.
        // The first run's start image is at the pole and never added, so
        // its failure is at point 1; the next starts away from the pole.
        int failDetach;
        bool failCatalog;
        const char* error;
    };
    const Case cases[] = {{3, false, "The image is locked."},
                          {2, false, "The image is locked."},
                          {0, true, "No stars found."}};
    for (const Case& c : cases) {
        solver->detaches = 0;
        solver->failDetach = c.failDetach;
        solver->failCatalog = c.failCatalog;
        const qsizetype shown = ui.shown().size();
        const int observations = store->ObservationCount();
        run->Start();
        TickUntil([&] { return !run->running(); });
        EXPECT_GE(solver->detaches, c.failDetach);
        EXPECT_FALSE(run->solving()) << c.error;
        EXPECT_EQ(run->lblStarfixStatus,
                  QStringLiteral("Auto calibration run halted due to error"));
        EXPECT_EQ(run->lblCalStatus, QStringLiteral("Slewing aborted"));
        EXPECT_EQ(run->lastError(), QString::fromLatin1(c.error));
        EXPECT_EQ(ui.shown().size(), shown + 1) << c.error;
        EXPECT_EQ(store->ObservationCount(), observations) << c.failDetach;
        EXPECT_TRUE(run->retryQueue().isEmpty());
    }
}

TEST_F(AutoRunTest, AFailedImageFetchHalts) {
    run->Start();
    Tick();
    cam->failReady = true;
    Tick();
    EXPECT_FALSE(run->running());
    EXPECT_EQ(run->lblStarfixStatus, QStringLiteral("Auto calibration run halted due to error"));
    EXPECT_EQ(run->lblCalStatus, QStringLiteral("Slewing aborted"));
    EXPECT_EQ(run->lastError(), QStringLiteral("The camera went away."));
    ASSERT_FALSE(ui.shown().isEmpty());
    EXPECT_FALSE(run->paused());
}

TEST_F(AutoRunTest, ARefusedExposureSaysSoAndWaits) {
    cam->refuse = true;
    run->Start();
    Tick();
    Tick();
    ASSERT_EQ(ui.shown().size(), 1);
    EXPECT_EQ(ui.shown().first().text,
              QStringLiteral("Lumacam was unable to expose an image \r\nCheck the camera settings "
                             "and restart the automatic calibration."));
    EXPECT_EQ(run->state(), kWaitImage);
    EXPECT_TRUE(run->running());
}

TEST_F(AutoRunTest, ResolutionIsRefinedOnceAndOnlyWithinAFactorOfTwo) {
    LowHorizon();
    run->SelectAccuracy(4);
    run->txtBin = QStringLiteral("2");
    // 5"/binned pixel is 2.5"/pixel unbinned: a factor 1.25 from 2.
    solver->solvedScale = 5.0;
    run->Start();
    TickUntil([&] { return solver->solves == 1 && !run->solving(); });
    EXPECT_DOUBLE_EQ(program->settings().Resolution, 2.5);
    EXPECT_EQ(run->txtResolution, QStringLiteral("2.5"));
    // Later solutions leave it alone within this Start.
    solver->solvedScale = 6.0;
    TickUntil([&] { return solver->solves == 2 && !run->solving(); });
    EXPECT_DOUBLE_EQ(program->settings().Resolution, 2.5);

    // After a restart: a solution 2.5 times off is ignored, a fitting one
    // taken.
    run->Stop();
    solver->solvedScale = 12.5;  // 6.25"/pixel against 2.5
    run->Start();
    EXPECT_EQ(run->lblStarfixStatus, QStringLiteral("Restarting automatic calibration."));
    TickUntil([&] { return solver->solves == 3 && !run->solving(); });
    EXPECT_DOUBLE_EQ(program->settings().Resolution, 2.5);
    solver->solvedScale = 8.0;
    TickUntil([&] { return solver->solves == 4 && !run->solving(); });
    EXPECT_DOUBLE_EQ(program->settings().Resolution, 4.0);
}

TEST_F(AutoRunTest, ObservationKeepsThePierSideAndSiderealTimeOfItsExposure) {
    run->Start();
    TickUntil([&] { return run->pointIndex() == 1 && run->state() == kWaitImage; });
    program->hub().UpdateSiderealTime();
    const double lst = program->hub().SiderealAngle();
    const bool inverted = program->hub().state().PierInverted;
    const double scopeRa = Sim()->RightAscension() * M_PI / 12;
    // Point 1's image is solved while the mount moves on (and the clock runs).
    TickUntil([&] { return store->ObservationCount() == 1; });
    const Observation& o = store->at(1);
    EXPECT_NEAR(o.LST, lst, 1e-9);
    EXPECT_EQ(o.IsWestOfPier(), inverted);
    EXPECT_NEAR(o.RAScope, scopeRa, 1e-9);
    EXPECT_GT(program->hub().SiderealAngle() - lst, 1e-6);
}

TEST_F(AutoRunTest, StoppingTheCalibrationEndsTheRunAndReleasesTheDevices) {
    run->Start();
    Tick();
    bool hidden = false;
    QObject::connect(run.get(), &AutoCalibration::hideRequested, [&] { hidden = true; });
    store->StopCalibration();
    EXPECT_FALSE(run->running());
    EXPECT_TRUE(hidden);
    EXPECT_FALSE(run->activated());
}

}  // namespace
