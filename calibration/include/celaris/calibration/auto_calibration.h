// The automatic calibration run: the mount is walked over the sky pattern,
// an image is taken at each point, the plate solver says where it really
// points and each solution becomes an observation of the calibration store.
// The image of one point is solved while the mount slews to the next.
//
// This is the state of the window "Auto Calibration" and its rules, fields
// named after its controls; the window only mirrors them. The program
// without windows has it too, driven through the HTTP interface: there the
// questions the window would ask do not arise and errors go to lastError()
// and the log.
//
// Main thread only. Ticks come from timerAlign (500 ms) or, in tests, from
// Tick(); the solver's steps run elsewhere and report back by signal, so a
// solve never holds the thread.
#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "celaris/calibration/auto_grid.h"
#include "celaris/dispatch/com_error.h"
#include "celaris/drivers/camera/camera.h"
#include "celaris/drivers/solver/plate_solver.h"

namespace celaris::hub {
class Program;
struct RaDec;
}  // namespace celaris::hub

namespace celaris::calibration {

class CalibrationStore;

// Run states; 0 is idle.
enum AutoState : int32_t {
    kIdle = 0,
    kExpose = 1,
    kWaitImage = 2,
    kMoveAndSolve = 3,
    kWaitSlewSolveSettle = 4,
    kComplete = 5,
};

// How long one point took, seconds. Slew and exposure are on the run's
// clock (the mount's time); the download and the solve passes are the
// computer's work, measured on its monotonic clock.
struct PointTiming {
    int point = 0;
    double slew = 0.0;
    double exposure = 0.0;
    double download = 0.0;
    double solve1 = 0.0;
    double solve2 = 0.0;
    bool solved = false;
};

class AutoCalibration : public QObject {
    Q_OBJECT
  public:
    using CameraFactory = std::function<std::unique_ptr<camera::Camera>()>;
    using SolverFactory = std::function<std::unique_ptr<solver::PlateSolver>()>;

    AutoCalibration(hub::Program& program, CalibrationStore& store, QObject* parent = nullptr);
    ~AutoCalibration() override;

    // How the camera and the solver are made (the program: the camera of
    // the "Camera" setting and astrometry.net).
    void SetCameraFactory(CameraFactory make) { makeCamera_ = std::move(make); }
    void SetSolverFactory(SolverFactory make) { makeSolver_ = std::move(make); }
    // Seconds on the run's clock (the settle pause, the timings); tests give
    // the simulator's. Unset: the computer's monotonic clock.
    void SetClock(std::function<double()> clock) { clock_ = std::move(clock); }
    // Tests tick by hand: timerAlign is then never started.
    void SetManualTicks(bool manual) { manualTicks_ = manual; }
    void SetImagePath(const QString& path) { imagePath_ = path; }

    // The window's life: loading reads the settings into the boxes,
    // unloading takes them back and writes them. Activation links the
    // camera and makes the solver; false when it failed (the window hides).
    void Load();
    void Unload();
    bool Activate();
    bool activated() const { return camera_ != nullptr && solver_ != nullptr; }
    // The calibration was stopped: the run stops and the camera and the
    // solver are released.
    void Release();

    // The buttons.
    void Start();
    void Stop();
    void Resume();
    // Start for those without the window (scripts, the browser console):
    // refused with InvalidOperation while no calibration is in progress,
    // since the window is only reached during one, and when the run did
    // not start, with the reason it met.
    void StartChecked();
    // lstFilters clicked / cmbAccuracy chosen.
    void SelectFilter(int index);
    void SelectAccuracy(int index);
    // Closing the window: true when it may close (asks while running).
    bool ConfirmClose();
    // The pixel calculator's result and the browser's path.
    void SetResolutionText(const QString& text);
    void SetCatalogPath(const QString& path);

    // One tick of timerAlign.
    void Tick();

    // Run state.
    int32_t state() const { return state_; }
    int pointIndex() const { return pointIndex_; }
    int step() const { return step_; }
    bool running() const { return timerOn_; }
    // A calibration is in progress: the run adds to it.
    bool calibrating() const;
    bool paused() const { return paused_; }
    bool solving() const { return solving_; }
    const Grid& grid() const { return grid_; }
    const QList<PointTiming>& timings() const { return timings_; }
    // Points whose solve failed and wait for their second try.
    const QList<int>& retryQueue() const { return retryQueue_; }
    const QString& lastError() const { return lastError_; }
    camera::Camera* camera() { return camera_.get(); }
    solver::PlateSolver* solver() { return solver_.get(); }
    // The unbinned plate scale the run works with: the "Resolution" box.
    double resolution() const;

    // The controls.
    QString lblCalStatus = QStringLiteral("Mount Calibration");
    QString lblStarfixStatus = QStringLiteral("Starfix");
    QString lblCameraStatus = QStringLiteral("Camera");
    QString lblBin = QStringLiteral("Bin (X and Y)");
    QString lblTimeLeft;
    bool cmdStartEnabled = true;
    bool cmdStopEnabled = false;
    bool cmdResumeEnabled = false;
    bool txtCatPathEnabled = true;
    bool progbarCalEnabled = false;
    int progbarCal = 0;  // 0 to 204
    QStringList lstFilters;
    int lstFiltersIndex = -1;  // -1: nothing selected
    int cmbAccuracy = 0;
    int optCatalog = 3;
    int optProjection = 1;
    QString txtExposure, txtBin, txtCatPath, txtSigma, txtMinBright, txtMinStar, txtCatMaxMag,
        txtResolution, txtCatExp, txtMaxStars, txtMaxTime;
    bool txtMaxStarsEnabled = true;

    static QStringList AccuracyItems();
    // The pixel calculator: arc seconds a pixel of sizeUm behind focalMm
    // (206.25, the calculator's own constant), shown as "##0.00".
    static double PixelScale(double sizeUm, double focalMm) { return sizeUm * 206.25 / focalMm; }
    static QString ScaleText(double scale) { return QString::number(scale, 'f', 2); }

    // The settings by their stored names ("Exposure", "Bin", "Accuracy",
    // "Resolution", "CatPath", ..., "Camera"), for the HTTP interface: a
    // read gives the window's value, a write sets the control as the user
    // would and stores every setting of the window at once. A value that
    // does not fit raises InvalidValue (0x80040401); nothing is changed.
    static const QStringList& SettingNames();
    QVariant SettingValue(const QString& name) const;
    void SetSettingValue(const QString& name, const QVariant& value);

  signals:
    // Any control changed.
    void changed();
    // Activation failed: the window hides.
    void hideRequested();

  private:
    enum class SolveStage { None, Find1, Catalog1, Solve1, Find2, Catalog2, Solve2 };

    double Now() const;
    void ButtonsRunning();
    void ButtonsAtRest();
    void Halt();
    void ShowError(const dispatch::ComError& e);
    void Complete();
    // The mount's raw position now (hours, degrees); a failed read raises.
    hub::RaDec ReadMountPosition();
    void BuildGridFromMount();
    bool ChooseNextPoint(double& raRad, double& decRad);
    bool Accepted(const GridPoint& p, double& raRad, double& decRad);
    void MoveTo(double raRad, double decRad);
    void Expose();
    bool FetchImage();
    void BeginSolve();
    void OnStepEnded(solver::SolverStep step, bool succeeded);
    // The solve ends on error e, its text in the Starfix status; halting
    // also stops the run and shows e, for when the solver cannot go on.
    void EndSolve(const dispatch::ComError& e);
    void HaltSolve(const dispatch::ComError& e);
    void SolveFailed(const dispatch::ComError& e, bool halt);
    void FinishSolve();
    void AppendStatus(const QString& line);
    void SetSolverScale();
    void UpdateTimeLeft();
    PointTiming* TimingOf(int point);
    void StartTimer();
    void StopTimer();
    void TakeBoxesIntoSettings();

    hub::Program& program_;
    CalibrationStore& store_;
    CameraFactory makeCamera_;
    SolverFactory makeSolver_;
    std::function<double()> clock_;
    QElapsedTimer monotonic_;
    QElapsedTimer solveTimer_;
    QTimer timerAlign_;
    bool manualTicks_ = false;
    bool timerOn_ = false;

    std::unique_ptr<camera::Camera> camera_;
    std::unique_ptr<solver::PlateSolver> solver_;

    int32_t state_ = kIdle;
    Grid grid_{};
    int pointIndex_ = 0;
    int step_ = 1;
    bool buildGrid_ = false;
    bool refineScale_ = false;
    bool paused_ = false;
    bool solving_ = false;
    bool imageFailed_ = false;
    SolveStage stage_ = SolveStage::None;
    // Read when the exposure began: the scope position, the model's true
    // position for it, and the pier side and sidereal time that go with it.
    double exposureScopeRA_ = 0, exposureScopeDec_ = 0;
    double exposureCorrRA_ = 0, exposureCorrDec_ = 0;
    double exposureLst_ = 0;
    bool exposureInverted_ = false;
    int exposurePoint_ = 0;
    // The point the image being solved belongs to, with the values above.
    double solveScopeRA_ = 0, solveScopeDec_ = 0, solveLst_ = 0;
    bool solveInverted_ = false;
    int solvePoint_ = 0;
    double solvedRA_ = 0, solvedDec_ = 0;
    QString imagePath_;
    // Where the mount stood when the grid was built.
    double startAlt_ = 0, startAz_ = 0;

    // Retries: points that failed once, and whether the pattern is used up.
    QList<int> retryQueue_;
    QList<int> retried_;
    bool patternDone_ = false;

    QList<PointTiming> timings_;
    double moveStarted_ = 0, exposureStarted_ = 0, settleStarted_ = -1;
    bool slewTimed_ = false;
    QString lastError_;
};

}  // namespace celaris::calibration
