// The automatic calibration end to end, headless, on real components: the
// hub on the built-in simulated mount with its hidden errors, the simulated
// camera drawing what the tube really sees, and astrometry.net solving the
// images. The fitted terms must find the hidden ones, and client slews must
// then land on the sky. The mount and the camera run on a manual clock that
// stands still whenever the run waits for work done in real time (drawing
// an image, solving one) with the mount at rest, so the sky the run sees
// does not depend on how fast this machine is.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>
#include <cmath>
#include <cstdio>

#include "celaris/calibration/auto_calibration.h"
#include "celaris/calibration/calibration_store.h"
#include "celaris/drivers/camera/simulated_camera.h"
#include "celaris/drivers/simulator/simulated_mount.h"
#include "celaris/drivers/solver/astrometry_net_solver.h"
#include "celaris/hub/program.h"
#include "celaris/hub/telescope.h"
#include "celaris/profile/settings.h"
#include "scripted_ui.h"
#include "simulator_profile.h"

using namespace celaris;

namespace {

constexpr double kStartUnix = 1710903600.0;  // 2024-03-20T03:00:00Z
constexpr double kArcsec = M_PI / 180.0 / 3600.0;
constexpr double Exposure() {
    return 2.0;
}

std::shared_ptr<ManualClock>& Clock() {
    static std::shared_ptr<ManualClock> clock;
    return clock;
}
SimulatedMount*& Sim() {
    static SimulatedMount* sim = nullptr;
    return sim;
}
// A field of 2.2 x 1.6 degrees: enough Tycho-2 stars in the index files
// anywhere on the sky for the solver (1.3 x 1.0 degrees leaves some fields
// with four or five).
camera::SimulatedCameraOptions CameraOptions() {
    camera::SimulatedCameraOptions o;
    o.focalLengthMm = 300.0;
    return o;
}
SimulatorOptions Options() {
    SimulatorOptions o;
    o.slewRateDegPerSec = 20.0;
    o.hiddenTerms = HiddenTerms::Typical();
    return o;
}

TEST(AutoCalibrationEndToEnd, TwentyFiveStarsFindTheHiddenTermsAndSlewsLandOnTheSky) {
    DriverFactory::Instance().Register(QStringLiteral("Test.AutoE2ESim"), [](const QString&) {
        auto m = std::make_unique<SimulatedMount>(Options(), Clock());
        Sim() = m.get();
        return std::unique_ptr<Driver>(std::move(m));
    });
    Clock() = std::make_shared<ManualClock>(kStartUnix);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("profile.json"));
    test::WriteSimulatorProfile(path, Options(), QStringLiteral("Test.AutoE2ESim"),
                                [](profile::Settings& s) {
                                    s.Accuracy = 2;  // ~25 Stars
                                    s.Bin = 2;
                                    s.Exposure = Exposure();
                                    // The pixel calculator's value for the simulated camera's
                                    // 9 um pixels behind 300 mm; the run refines it from the
                                    // first solution.
                                    s.Resolution = 9 * 206.25 / 300;
                                });
    test::ScriptedUi ui;
    hub::Program program(ui, path);
    const auto clock = Clock();
    program.hub().SetClock([clock] { return clock->NowUnixSeconds(); });
    calibration::CalibrationStore store(program);
    hub::Telescope client(program.hub());
    client.SetConnected(true);
    program.status().m_PollInterval = 0;

    calibration::AutoCalibration run(program, store);
    run.SetManualTicks(true);
    run.SetClock([clock] { return clock->NowUnixSeconds(); });
    run.SetImagePath(dir.filePath(QStringLiteral("temp.fit")));
    run.SetCameraFactory([clock] {
        return std::unique_ptr<camera::Camera>(std::make_unique<camera::SimulatedCamera>(
            *Sim(), clock, camera::EngineApparentToJ2000(), CameraOptions()));
    });
    run.SetSolverFactory([] { return std::make_unique<solver::AstrometryNetSolver>(); });
    run.Load();

    store.StartCalibration();  // what StartNewCalibration does
    QElapsedTimer wall;
    wall.start();
    const double simStart = clock->NowUnixSeconds();
    run.Start();
    ASSERT_TRUE(run.running()) << run.lastError().toStdString();
    double exposureStarted = -1;
    // The wall-clock limit only ends a run that hangs.
    while (run.running() && wall.elapsed() < 600000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        if (run.state() != calibration::kWaitImage) exposureStarted = -1;
        if (run.state() == calibration::kWaitImage && exposureStarted < 0)
            exposureStarted = clock->NowUnixSeconds();
        // Past the exposure's end the camera may still be drawing on its
        // thread; a solve may outlast the slew.
        const bool drawing =
            exposureStarted >= 0 && clock->NowUnixSeconds() >= exposureStarted + Exposure();
        const bool solving = run.solving() && !Sim()->Slewing();
        if (drawing || solving) {
            run.Tick();
            QThread::msleep(2);
            continue;
        }
        clock->Advance(0.5);
        program.status().TimerTic();
        run.Tick();
    }
    const double wallSeconds = wall.elapsed() / 1000.0;
    ASSERT_FALSE(run.running()) << "the run did not end";
    EXPECT_EQ(run.lblCalStatus, QStringLiteral("Run Complete")) << run.lastError().toStdString();
    ASSERT_GE(store.ObservationCount(), 20);

    // Timings per point.
    int points = 0, solved = 0;
    double slew = 0, exposure = 0, download = 0, solve = 0;
    for (const calibration::PointTiming& t : run.timings()) {
        ++points;
        solved += t.solved;
        slew += t.slew;
        exposure += t.exposure;
        download += t.download;
        solve += t.solve1 + t.solve2;
    }
    std::printf("run: %d points, %d solved, %d observations; wall %.1f s, mount time %.0f s\n",
                points, solved, int(store.ObservationCount()), wallSeconds,
                clock->NowUnixSeconds() - simStart);
    std::printf("per point: slew %.1f s, exposure %.1f s, download %.3f s, solve %.2f s\n",
                slew / points, exposure / points, download / points, solve / points);
    std::printf("resolution after refinement: %.4f\"/pixel\n", run.resolution());
    RecordProperty("WallSeconds", QString::number(wallSeconds, 'f', 1).toStdString());

    // The fitted terms against the hidden ones.
    const HiddenTerms& h = Options().hiddenTerms;
    const calibration::ModelTerms t = store.Terms();
    const double hidden[] = {h.hOffset,     h.decOffset,      h.collimation,
                             h.axisNonPerp, h.polarLeftRight, h.polarVertical,
                             h.tubeFlex,    h.forkFlex,       h.decFlex};
    for (int i = 0; i < calibration::kTermCount; ++i) {
        if (i == 7) continue;  // a German mount has no fork flexure to find
        const double error = (t[i] - hidden[i]) / kArcsec;
        std::printf("term %s: fitted %.1f\", hidden %.1f\", error %.2f\"\n",
                    qPrintable(calibration::TermName(i)), t[i] / kArcsec, hidden[i] / kArcsec,
                    error);
        EXPECT_LT(std::abs(error), 5.0) << calibration::TermName(i).toStdString();
    }

    // Client slews against the mount's true pointing.
    store.StopCalibration();
    program.hub().UpdateSiderealTime();
    const double lst = program.hub().SiderealAngle() * 12 / M_PI;
    double sum = 0;
    int n = 0;
    for (const auto& [ha, dec] : {std::pair{-3.0, 20.0},
                                  {-1.0, 50.0},
                                  {1.5, 10.0},
                                  {2.5, 70.0},
                                  {0.5, -15.0},
                                  {-2.0, 35.0}}) {
        const double ra = std::fmod(lst - ha + 48.0, 24.0);
        client.SlewToCoordinates(ra, dec);
        const SkyPointing p = Sim()->TruePointing();
        const double dRa = std::remainder(p.raHours - ra, 24.0) * 15.0 * std::cos(dec * M_PI / 180);
        const double miss = std::hypot(dRa, p.decDeg - dec) * 3600.0;
        sum += miss * miss;
        ++n;
    }
    const double rms = std::sqrt(sum / n);
    std::printf("client slews: sky RMS %.2f\"\n", rms);
    EXPECT_LE(rms, 10.0);
    client.SetConnected(false);
}

}  // namespace
