// The plate solve of an image while the mount moves on: two passes, the
// second from the first's position with a narrow catalogue search, and the
// solution added to the calibration as an observation.
#include "celaris/calibration/auto_calibration.h"

#include <QDateTime>
#include <cmath>

#include "auto_calibration_boxes.h"
#include "celaris/calibration/calibration_store.h"
#include "celaris/calibration/observation_name.h"
#include "celaris/hub/program.h"
#include "celaris/profile/settings.h"

namespace celaris::calibration {

using dispatch::ComError;
using units::kDegreesToRadians;
using units::kHoursToRadians;
using units::kRadiansToDegrees;
using units::kRadiansToHours;

namespace {

// A mount parked at the pole takes the run's first image there. Its hour
// angle means nothing and the model's terms grow as 1/cos(dec), so such an
// observation would pull the whole fit; it is solved (the plate scale is
// refined from it) but not added. Polaris, 0.74 degrees off, stays usable.
constexpr double kPoleExclusionRad = 0.5 * units::kDegreesToRadians;

}  // namespace

void AutoCalibration::AppendStatus(const QString& line) {
    lblStarfixStatus += QStringLiteral("\r\n") + line;
    emit changed();
}

void AutoCalibration::SetSolverScale() {
    const double r = BoxNumber(txtResolution, "Unbinned Pixel Size (Arc Sec)");
    solver_->ArcsecPerPixelHoriz = r * camera_->BinX();
    solver_->ArcsecPerPixelVert = r * camera_->BinY();
}

void AutoCalibration::BeginSolve() {
    solving_ = true;
    stage_ = SolveStage::None;
    solvePoint_ = exposurePoint_;
    solveScopeRA_ = exposureScopeRA_;
    solveScopeDec_ = exposureScopeDec_;
    solveLst_ = exposureLst_;
    solveInverted_ = exposureInverted_;
    solveTimer_.start();
    try {
        solver_->AttachFITS(imagePath_);
    } catch (const ComError& e) {
        EndSolve(e);
        throw;
    }
    try {
        solver::PlateSolver& s = *solver_;
        s.Catalog = static_cast<int16_t>(optCatalog);
        SetSolverScale();
        s.ExclusionBorder = 4;
        s.MaxSolveTime = BoxInt16(txtMaxTime, "Max time");
        s.SigmaAboveMean = BoxNumber(txtSigma, "Sigma");
        s.MinimumBrightness = BoxInt16(txtMinBright, "Min Bright");
        s.CatalogMaximumMagnitude = BoxNumber(txtCatMaxMag, "Cat Max Mag");
        s.CatalogExpansion = BoxNumber(txtCatExp, "Cat Expand");
        s.MinimumStarSize = BoxInt16(txtMinStar, "Min Star Dia");
        s.CatalogPath = txtCatPath;
        if (txtMaxStarsEnabled) s.MaxSolveStars = BoxInt16(txtMaxStars, "Max Stars");
        s.ProjectionType = static_cast<int16_t>(optProjection);
        double ra2k = 0, dec2k = 0;
        hub::Check(program_.hub().engine()->ApparentToJ2k(exposureCorrRA_, exposureCorrDec_, &ra2k,
                                                          &dec2k),
                   "ApparentToJ2k");
        s.RightAscension = ra2k * kRadiansToHours;
        s.Declination = dec2k * kRadiansToDegrees;
        stage_ = SolveStage::Find1;
        s.FindImageStars();
    } catch (const ComError& e) {
        try {
            solver_->DetachFITS();
        } catch (const ComError&) {
        }
        EndSolve(e);
        throw;
    }
}

void AutoCalibration::EndSolve(const ComError& e) {
    solving_ = false;
    stage_ = SolveStage::None;
    lblStarfixStatus = e.description();
}

void AutoCalibration::HaltSolve(const ComError& e) {
    EndSolve(e);
    Halt();
    ShowError(e);
}

void AutoCalibration::SolveFailed(const ComError& e, bool halt) {
    try {
        if (solver_) solver_->DetachFITS();
    } catch (const ComError&) {
    }
    EndSolve(e);
    if (PointTiming* t = TimingOf(solvePoint_)) t->solve1 = solveTimer_.nsecsElapsed() * 1e-9;
    if (halt) {
        Halt();
        ShowError(e);
        return;
    }
    // A cloud or an empty field: the point gets one more try at the end.
    if (!retried_.contains(solvePoint_) && !retryQueue_.contains(solvePoint_) && solvePoint_ >= 1 &&
        solvePoint_ <= kGridPoints)
        retryQueue_.append(solvePoint_);
    emit changed();
}

void AutoCalibration::OnStepEnded(solver::SolverStep step, bool succeeded) {
    if (!solving_ || stage_ == SolveStage::None || !solver_) return;
    solver::PlateSolver& s = *solver_;
    if (!succeeded) {
        const ComError e = s.lastError().value_or(
            ComError(solver::kSolverFailure, QString::fromLatin1(solver::kSolverSource),
                     QStringLiteral("The plate solve failed.")));
        SolveFailed(e, step == solver::SolverStep::FindCatalogStars);
        return;
    }
    try {
        switch (stage_) {
            case SolveStage::Find1:
                lblStarfixStatus =
                    QStringLiteral("Step 1: Found %1 objects in image").arg(s.ImageStars().Count);
                stage_ = SolveStage::Catalog1;
                s.FindCatalogStars();
                break;
            case SolveStage::Catalog1:
                AppendStatus(QStringLiteral("Step 2: Found %1 catalog stars in search area")
                                 .arg(s.CatalogStars().Count));
                stage_ = SolveStage::Solve1;
                s.Solve();
                break;
            case SolveStage::Solve1: {
                AppendStatus(QStringLiteral("Step 3: Found %1 matching stars in image")
                                 .arg(s.MatchedStars().Count));
                solvedRA_ = s.RightAscension * kHoursToRadians;
                solvedDec_ = s.Declination * kDegreesToRadians;
                if (refineScale_) {
                    const double sc =
                        ((std::abs(s.ArcsecPerPixelVert) + std::abs(s.ArcsecPerPixelHoriz)) / 2) /
                        camera_->BinX();
                    const double r = program_.settings().Resolution;
                    if (sc > 0 && r / sc >= 0.5 && r / sc <= 2) {
                        program_.settings().Resolution = sc;
                        txtResolution = Text(std::abs(sc));
                        refineScale_ = false;
                    }
                }
                if (PointTiming* t = TimingOf(solvePoint_))
                    t->solve1 = solveTimer_.nsecsElapsed() * 1e-9;
                solveTimer_.start();
                try {
                    s.DetachFITS();
                    s.AttachFITS(imagePath_);
                } catch (const ComError& e) {
                    HaltSolve(e);
                    return;
                }
                s.RightAscension = solvedRA_ * kRadiansToHours;
                s.Declination = solvedDec_ * kRadiansToDegrees;
                s.ProjectionType = static_cast<int16_t>(optProjection);
                SetSolverScale();
                s.CatalogExpansion = 0.1;
                stage_ = SolveStage::Find2;
                s.FindImageStars();
                break;
            }
            case SolveStage::Find2:
                AppendStatus(
                    QStringLiteral("Step 1a: Found %1 objects in image").arg(s.ImageStars().Count));
                stage_ = SolveStage::Catalog2;
                s.FindCatalogStars();
                break;
            case SolveStage::Catalog2:
                AppendStatus(QStringLiteral("Step 2a: Found %1 catalog stars in area")
                                 .arg(s.CatalogStars().Count));
                stage_ = SolveStage::Solve2;
                s.Solve();
                break;
            case SolveStage::Solve2:
                AppendStatus(QStringLiteral("Step 3a: Found %1 matching stars in image")
                                 .arg(s.MatchedStars().Count));
                s.UpdateFITS();
                try {
                    s.DetachFITS();
                } catch (const ComError& e) {
                    HaltSolve(e);
                    return;
                }
                solvedRA_ = s.RightAscension * kHoursToRadians;
                solvedDec_ = s.Declination * kDegreesToRadians;
                FinishSolve();
                break;
            case SolveStage::None:
                break;
        }
    } catch (const ComError& e) {
        SolveFailed(e, true);
    }
}

void AutoCalibration::FinishSolve() {
    hub::Hub& hub = program_.hub();
    hub.UpdateSiderealTime();
    const QString name = UtcObservationName(EngineUtcNow(hub.engine()));
    double ra = 0, dec = 0;
    hub::Check(hub.engine()->J2kToApparent(solvedRA_, solvedDec_, &ra, &dec), "J2kToApparent");
    if (std::abs(solveScopeDec_) > units::kHalfPi - kPoleExclusionRad) {
        AppendStatus(QStringLiteral("Too close to the pole: observation not added"));
        program_.ui().Log(
            QStringLiteral("Automatic calibration: the image at the pole is not "
                           "added to the calibration."));
    } else {
        store_.Add2Cal(ra, dec, solveScopeRA_, solveScopeDec_, solveLst_, name, solveInverted_,
                       true);
        AppendStatus(QStringLiteral("Observation Added"));
    }
    solving_ = false;
    stage_ = SolveStage::None;
    if (PointTiming* t = TimingOf(solvePoint_)) {
        t->solve2 = solveTimer_.nsecsElapsed() * 1e-9;
        t->solved = true;
    }
    UpdateTimeLeft();
    emit changed();
}

}  // namespace celaris::calibration
