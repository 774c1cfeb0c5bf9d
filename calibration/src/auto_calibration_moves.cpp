// Where the run goes and what it takes there: the pattern laid out from
// where the mount stands, the next point that passes the limits, the slew,
// the exposure and the image, and each point's timings.
#include "celaris/calibration/auto_calibration.h"

#include <QElapsedTimer>
#include <algorithm>
#include <cmath>

#include "auto_calibration_boxes.h"
#include "celaris/ascom/altaz.h"
#include "celaris/catalogue/sky_geometry.h"
#include "celaris/dispatch/driver.h"
#include "celaris/hub/program.h"
#include "celaris/profile/settings.h"

namespace celaris::calibration {

using dispatch::ComError;
using units::kDegreesToRadians;
using units::kHoursToRadians;

PointTiming* AutoCalibration::TimingOf(int point) {
    for (qsizetype i = timings_.size() - 1; i >= 0; --i)
        if (timings_[i].point == point) return &timings_[i];
    return nullptr;
}

hub::RaDec AutoCalibration::ReadMountPosition() {
    Driver& d = program_.hub().ConnectedDriver();
    const double ra =
        ToDouble(d.Get(QStringLiteral("RightAscension")), QStringLiteral("RightAscension"));
    const double dec =
        ToDouble(d.Get(QStringLiteral("Declination")), QStringLiteral("Declination"));
    return {ra, dec};
}

void AutoCalibration::BuildGridFromMount() {
    hub::Hub& hub = program_.hub();
    const hub::RaDec mount = ReadMountPosition();
    hub.UpdateSiderealTime();
    const double ha = hub.SiderealAngle() - mount.ra * kHoursToRadians;
    const ascom::AltAz aa = ascom::hadec_aa(program_.settings().Latitude * kDegreesToRadians, ha,
                                            mount.dec * kDegreesToRadians);
    startAlt_ = aa.altRad;
    startAz_ = aa.azRad;
    BuildGrid(OriginOf(aa.altRad, aa.azRad), grid_);
}

bool AutoCalibration::Accepted(const GridPoint& p, double& raRad, double& decRad) {
    hub::Hub& hub = program_.hub();
    const ascom::HaDec h =
        ascom::aa_hadec(program_.settings().Latitude * kDegreesToRadians, p.altRad, p.azRad);
    raRad = hub::NormaliseRadians(hub.SiderealAngle() - h.haRad);
    decRad = h.decRad;
    return catalogue::AboveHorizon(hub, raRad, decRad) &&
           std::abs(decRad) < std::abs(program_.settings().DecLimitRad) &&
           hub.BelowAltLimit(raRad, decRad);
}

bool AutoCalibration::ChooseNextPoint(double& raRad, double& decRad) {
    program_.hub().UpdateSiderealTime();
    while (!patternDone_) {
        pointIndex_ += step_;
        if (pointIndex_ > kGridPoints) {
            patternDone_ = true;
            break;
        }
        if (Accepted(grid_[size_t(pointIndex_ - 1)], raRad, decRad)) return true;
    }
    while (!retryQueue_.isEmpty()) {
        const int p = retryQueue_.takeFirst();
        retried_.append(p);
        if (Accepted(grid_[size_t(p - 1)], raRad, decRad)) {
            pointIndex_ = p;
            return true;
        }
    }
    state_ = kComplete;
    return false;
}

void AutoCalibration::MoveTo(double raRad, double decRad) {
    hub::Hub& hub = program_.hub();
    Driver& d = hub.ConnectedDriver();
    d.Put(QStringLiteral("TargetRightAscension"), raRad * units::kRadiansToHours);
    d.Put(QStringLiteral("TargetDeclination"), decRad * units::kRadiansToDegrees);
    hub.UpdateSiderealTime();
    const hub::HADec c = hub.engine().GetCorrectedHADec(hub.SiderealAngle() - raRad, decRad);
    hub::HubState& s = hub.state();
    double ra = (hub.SiderealAngle() - c.ha) * units::kRadiansToHours;
    if (ra >= 24) ra -= 24;
    if (ra < 0) ra += 24;
    s.TargetRA = ra;
    s.TargetDec = c.dec * units::kRadiansToDegrees;
    hub.ApplyPierSide(s.TargetRA, s.TargetDec);
    hub.Slew2TargetAB();
    moveStarted_ = Now();
    slewTimed_ = false;
    settleStarted_ = -1;
    PointTiming t;
    t.point = pointIndex_;
    timings_.append(t);
}

void AutoCalibration::Expose() {
    hub::Hub& hub = program_.hub();
    const hub::RaDec mount = ReadMountPosition();
    // The side, the sidereal time and the corrected position of this scope
    // position, not of the last status poll: by the time the solve ends the
    // mount is on its way to the next point.
    hub.UpdateSiderealTime();
    exposureLst_ = hub.SiderealAngle();
    const hub::RaDec corrected = hub.ScopeToTrueRADec(mount.ra, mount.dec);
    exposureScopeRA_ = mount.ra * kHoursToRadians;
    exposureScopeDec_ = mount.dec * kDegreesToRadians;
    exposureCorrRA_ = corrected.ra * kHoursToRadians;
    exposureCorrDec_ = corrected.dec * kDegreesToRadians;
    exposureInverted_ = hub.state().PierInverted;
    exposurePoint_ = pointIndex_;

    const double duration = BoxNumber(txtExposure, "Exposure (sec)");
    const int filter = lstFiltersIndex < 0 ? 0 : lstFiltersIndex;
    const int16_t bin = BoxInt16(txtBin, "Bin (X and Y)");
    camera_->SetBinX(bin);
    camera_->SetBinY(bin);
    txtBin = QString::number(std::max(camera_->BinX(), camera_->BinY()));
    if (camera_->StartExposure(duration, true, filter)) {
        lblCameraStatus = QStringLiteral("Camera exposing");
        exposureStarted_ = Now();
    } else {
        dispatch::Message m;
        m.title = QString::fromLatin1(kWindowTitle);
        m.text = QStringLiteral(
            "Lumacam was unable to expose an image \r\nCheck the camera settings and restart the "
            "automatic calibration.");
        lastError_ = m.text;
        program_.ui().Log(QStringLiteral("Automatic calibration: %1").arg(m.text));
        program_.ui().ShowMessage(m);
    }
}

bool AutoCalibration::FetchImage() {
    imageFailed_ = false;
    try {
        if (!camera_->ImageReady()) return false;
    } catch (const ComError& e) {
        imageFailed_ = true;
        ShowError(e);
        return false;
    }
    const double exposureEnded = Now();
    QElapsedTimer download;
    download.start();
    lblCameraStatus = QStringLiteral("Calibrating image with Lumacam settings");
    try {
        camera_->PrepareImage();
    } catch (const ComError&) {
    }
    lblCalStatus = QStringLiteral("Saving latest image");
    try {
        camera_->SaveImage(imagePath_);
    } catch (const ComError& e) {
        imageFailed_ = true;
        ShowError(e);
        return false;
    }
    if (PointTiming* t = TimingOf(exposurePoint_)) {
        t->exposure = exposureEnded - exposureStarted_;
        t->download = download.nsecsElapsed() * 1e-9;
    } else {
        // The first image is taken where the mount stood at Start.
        PointTiming first;
        first.point = exposurePoint_;
        first.exposure = exposureEnded - exposureStarted_;
        first.download = download.nsecsElapsed() * 1e-9;
        timings_.append(first);
    }
    lblCameraStatus = QStringLiteral("Camera idle");
    return true;
}

void AutoCalibration::UpdateTimeLeft() {
    if (timings_.size() < 2 || patternDone_) {
        if (patternDone_) lblTimeLeft.clear();
        return;
    }
    // Points still to come that pass the tests now, at the pace so far.
    int left = 0;
    double ra = 0, dec = 0;
    for (int p = pointIndex_ + step_; p <= kGridPoints; p += step_)
        if (Accepted(grid_[size_t(p - 1)], ra, dec)) ++left;
    left += int(retryQueue_.size());
    double perPoint = 0;
    for (const PointTiming& t : timings_)
        perPoint += std::max(t.slew, t.solve1 + t.solve2) + t.exposure + t.download +
                    program_.settings().SlewPause;
    perPoint /= double(timings_.size());
    const int seconds = int(std::lround(left * perPoint));
    lblTimeLeft = seconds >= 120 ? QStringLiteral("About %1 min left").arg((seconds + 30) / 60)
                                 : QStringLiteral("About %1 s left").arg(seconds);
}

}  // namespace celaris::calibration
