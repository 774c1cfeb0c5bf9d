// The run itself: the devices' activation and release, the buttons, and
// the state machine that timerAlign ticks.
#include "celaris/calibration/auto_calibration.h"

#include <algorithm>

#include "auto_calibration_boxes.h"
#include "celaris/ascom/altaz.h"
#include "celaris/calibration/calibration_store.h"
#include "celaris/calibration/documents_folder.h"
#include "celaris/dispatch/driver.h"
#include "celaris/hub/program.h"
#include "celaris/profile/settings.h"

namespace celaris::calibration {

using dispatch::ComError;
using units::kDegreesToRadians;

AutoCalibration::AutoCalibration(hub::Program& program, CalibrationStore& store, QObject* parent)
    : QObject(parent), program_(program), store_(store) {
    monotonic_.start();
    timerAlign_.setInterval(500);
    connect(&timerAlign_, &QTimer::timeout, this, &AutoCalibration::Tick);
    // Stopping the calibration ends the run and lets the devices go.
    connect(&store_, &CalibrationStore::calibratingChanged, this, [this](bool calibrating) {
        if (calibrating) return;
        if (timerOn_) Stop();
        Release();
        emit hideRequested();
    });
}

AutoCalibration::~AutoCalibration() = default;

bool AutoCalibration::calibrating() const {
    return store_.Calibrating();
}

double AutoCalibration::Now() const {
    return clock_ ? clock_() : monotonic_.nsecsElapsed() * 1e-9;
}

bool AutoCalibration::Activate() {
    try {
        if (!camera_) {
            if (!makeCamera_)
                throw ComError(static_cast<int32_t>(0x80040402), QStringLiteral("LumacamCCD"),
                               QStringLiteral("Failed to Link to Camera"));
            camera_ = makeCamera_();
        }
        // Linking returns once the device answered, so it is read back at
        // once rather than after a pause.
        camera_->SetLinked(true);
        if (!camera_->Linked())
            throw ComError(static_cast<int32_t>(0x80040402), QStringLiteral("LumacamCCD"),
                           QStringLiteral("Failed to Link to Camera"));
        lblBin =
            QStringLiteral("Bin (Max %1)").arg(std::max(camera_->MaxBinX(), camera_->MaxBinY()));
        if (camera_->HasFilterWheel()) {
            lstFilters = camera_->FilterNames();
            int16_t& f = program_.settings().Filter;
            if (f < 0 || f >= lstFilters.size()) f = 0;
            lstFiltersIndex = f;
        }
        if (!solver_) {
            if (makeSolver_) solver_ = makeSolver_();
            if (!solver_)
                throw ComError(static_cast<int32_t>(0x80040154), QString::fromLatin1(kWindowTitle),
                               QStringLiteral("No plate solver is available."));
            connect(solver_.get(), &solver::PlateSolver::stepEnded, this,
                    &AutoCalibration::OnStepEnded);
        }
        if (imagePath_.isEmpty()) imagePath_ = DocumentsFolder() + QStringLiteral("temp.fit");
    } catch (const ComError& e) {
        emit hideRequested();
        ShowError(e);
        emit changed();
        return false;
    }
    if (solver_->AcceptsMaxSolveStars())
        solver_->MaxSolveStars =
            static_cast<int16_t>(std::clamp<int32_t>(program_.settings().MaxStars, -32768, 32767));
    else
        txtMaxStarsEnabled = false;
    emit changed();
    return true;
}

void AutoCalibration::Release() {
    if (solver_) {
        disconnect(solver_.get(), nullptr, this, nullptr);
        solver_.reset();
    }
    solving_ = false;
    stage_ = SolveStage::None;
    if (camera_) {
        try {
            camera_->SetLinked(false);
        } catch (const ComError&) {
        }
        camera_.reset();
    }
    emit changed();
}

void AutoCalibration::ButtonsRunning() {
    cmdStartEnabled = txtCatPathEnabled = cmdResumeEnabled = false;
    cmdStopEnabled = progbarCalEnabled = true;
}

void AutoCalibration::ButtonsAtRest() {
    cmdStartEnabled = txtCatPathEnabled = cmdResumeEnabled = true;
    cmdStopEnabled = progbarCalEnabled = false;
}

void AutoCalibration::StartTimer() {
    timerOn_ = true;
    if (!manualTicks_) timerAlign_.start();
}

void AutoCalibration::StopTimer() {
    timerOn_ = false;
    timerAlign_.stop();
}

void AutoCalibration::ShowError(const ComError& e) {
    lastError_ = e.description();
    program_.ui().Log(QStringLiteral("Automatic calibration: %1").arg(e.description()));
    program_.ui().ShowError(e);
}

void AutoCalibration::Start() {
    if (!activated() && !Activate()) return;
    if (paused_) {
        try {
            store_.RestartObservations();
        } catch (const ComError& e) {
            ShowError(e);
            return;
        }
        lblStarfixStatus = QStringLiteral("Restarting automatic calibration.");
    } else {
        lblStarfixStatus = QStringLiteral("Starting automatic calibration.");
    }
    buildGrid_ = true;
    refineScale_ = true;
    pointIndex_ = 0;  // the first image is taken where the mount stands
    state_ = kExpose;
    retryQueue_.clear();
    retried_.clear();
    patternDone_ = false;
    timings_.clear();
    lblTimeLeft.clear();
    ButtonsRunning();
    StartTimer();
    paused_ = false;
    progbarCal = 0;
    emit changed();
}

void AutoCalibration::StartChecked() {
    if (!calibrating())
        throw ComError(static_cast<int32_t>(0x8004040B), QString::fromLatin1(kWindowTitle),
                       QStringLiteral("No calibration is in progress; start one first (Start in "
                                      "the main window, or StartNewCalibration in a script)."));
    Start();
    if (!timerOn_)
        throw ComError(static_cast<int32_t>(0x8004040B), QString::fromLatin1(kWindowTitle),
                       lastError_);
}

void AutoCalibration::Stop() {
    ButtonsAtRest();
    StopTimer();
    hub::Hub& hub = program_.hub();
    try {
        if (hub.state().DriverConnected && hub.DriverSlewing()) {
            hub.ConnectedDriver().Call(QStringLiteral("AbortSlew"));
            // No second leg after an abort: the mount stays where it stopped.
            hub.state().SecondLegDone = true;
            hub.CountAbort();
        }
        if (state_ == kWaitImage) {
            if (camera_) camera_->AbortExposure();
            state_ = kExpose;
        }
    } catch (const ComError& e) {
        ShowError(e);
    }
    settleStarted_ = -1;
    paused_ = true;
    lblStarfixStatus = QStringLiteral(
        "Automatic calibration paused by user. Press RESUME to continue where you left off.  "
        "Press START to start afresh.");
    emit changed();
}

void AutoCalibration::Resume() {
    if (state_ == kIdle) return;  // nothing was started
    ButtonsRunning();
    StartTimer();
    emit changed();
}

bool AutoCalibration::ConfirmClose() {
    if (!timerOn_) return true;
    dispatch::Message m;
    m.title = QStringLiteral("Auto Calibration in Progress");
    m.text = QStringLiteral(
        "Exiting this form will stop the auto calibration.\r\nDo you still wish to exit?");
    m.icon = dispatch::MessageIcon::Warning;
    m.buttons = dispatch::MessageButtons::YesNo;
    if (program_.ui().ShowMessage(m) != dispatch::MessageAnswer::Yes) return false;
    StopTimer();
    emit changed();
    return true;
}

void AutoCalibration::Halt() {
    StopTimer();
    ButtonsAtRest();
    lblStarfixStatus = QStringLiteral("Auto calibration run halted due to error");
    lblCalStatus = QStringLiteral("Slewing aborted");
    emit changed();
}

void AutoCalibration::Complete() {
    lblStarfixStatus =
        QStringLiteral("Calibration run complete\r\nRecommend saving calibration file");
    lblCalStatus = QStringLiteral("Run Complete");
    lblTimeLeft.clear();
    StopTimer();
    ButtonsAtRest();
    paused_ = true;
    int n = 0;
    PointTiming sum;
    for (const PointTiming& t : timings_) {
        ++n;
        sum.slew += t.slew;
        sum.exposure += t.exposure;
        sum.download += t.download;
        sum.solve1 += t.solve1;
        sum.solve2 += t.solve2;
    }
    if (n > 0)
        program_.ui().Log(QStringLiteral("Automatic calibration: %1 points; on average slew %2 s, "
                                         "exposure %3 s, download %4 s, solve %5 s + %6 s")
                              .arg(n)
                              .arg(sum.slew / n, 0, 'f', 1)
                              .arg(sum.exposure / n, 0, 'f', 1)
                              .arg(sum.download / n, 0, 'f', 2)
                              .arg(sum.solve1 / n, 0, 'f', 1)
                              .arg(sum.solve2 / n, 0, 'f', 1));
    emit changed();
}

void AutoCalibration::Tick() {
    // A tick queued before the timer stopped does nothing.
    if (state_ == kIdle || !timerOn_) return;
    hub::Hub& hub = program_.hub();
    try {
        switch (state_) {
            case kExpose:
                lblCalStatus = QStringLiteral("Exposing image");
                Expose();
                state_ = kWaitImage;
                break;
            case kWaitImage:
                if (FetchImage())
                    state_ = kMoveAndSolve;
                else if (imageFailed_)
                    Halt();
                break;
            case kMoveAndSolve: {
                state_ = kWaitSlewSolveSettle;
                lblCalStatus = QStringLiteral(
                    "Slewing Scope to next Observation point\r\nSolving Current Image Using "
                    "Starfix");
                double ra = 0, dec = 0;
                bool move = true;
                if (buildGrid_) {
                    BuildGridFromMount();
                    buildGrid_ = false;
                    pointIndex_ = 1;
                    // The first target is the mount's own row and column,
                    // close to where it stands, so it is taken untested.
                    const GridPoint& p = grid_[0];
                    const int a0 = std::clamp(OriginOf(startAlt_, startAz_).a0, 0, 9);
                    const GridPoint first{a0 * 0.17453292519943278, p.azRad};
                    const ascom::HaDec h =
                        ascom::aa_hadec(program_.settings().Latitude * kDegreesToRadians,
                                        first.altRad, first.azRad);
                    ra = hub::NormaliseRadians(hub.SiderealAngle() - h.haRad);
                    dec = h.decRad;
                } else {
                    move = ChooseNextPoint(ra, dec);
                }
                progbarCal = std::min(pointIndex_, kGridPoints);
                if (move) MoveTo(ra, dec);
                BeginSolve();
                break;
            }
            case kWaitSlewSolveSettle: {
                const bool still = !hub.DriverSlewing() && !(program_.settings().AntiBacklash &&
                                                             !hub.state().SecondLegDone);
                if (still && !slewTimed_) {
                    slewTimed_ = true;
                    if (PointTiming* t = TimingOf(pointIndex_)) t->slew = Now() - moveStarted_;
                }
                if (!still || solving_) {
                    settleStarted_ = -1;
                    break;
                }
                if (settleStarted_ < 0) settleStarted_ = Now();
                if (Now() - settleStarted_ >= program_.settings().SlewPause) {
                    settleStarted_ = -1;
                    state_ = kExpose;
                }
                break;
            }
            default:
                // The last image is solved and added before the run ends;
                // points whose solve failed get their second try first.
                if (solving_) break;
                if (!retryQueue_.isEmpty()) {
                    double ra = 0, dec = 0;
                    if (ChooseNextPoint(ra, dec)) {
                        progbarCal = std::min(pointIndex_, kGridPoints);
                        MoveTo(ra, dec);
                        state_ = kWaitSlewSolveSettle;
                        break;
                    }
                }
                Complete();
                break;
        }
    } catch (const ComError& e) {
        Halt();
        ShowError(e);
    } catch (const std::exception& e) {
        Halt();
        ShowError(ComError(static_cast<int32_t>(0x80004005), QString::fromLatin1(kWindowTitle),
                           QString::fromUtf8(e.what())));
    }
    emit changed();
}

}  // namespace celaris::calibration
