// The simulated mount's members that move it or change where it believes it
// points: slews, syncs, park and home, MoveAxis, guiding and tracking.
#include <algorithm>
#include <cmath>

#include "celaris/ascom/altaz.h"
#include "celaris/dispatch/ascom_errors.h"
#include "celaris/drivers/simulator/simulated_mount.h"
#include "mount_state.h"

namespace celaris {

using namespace sim;

namespace {

// Longest step of a synchronous wait, real seconds.
constexpr double kWaitStep = 0.02;

}  // namespace

// ---- Shared steps ----

void SimulatedMount::SlewToPosition(double t, const StoredPosition& position) {
    // A go-to ends any MoveAxis motion; the side is the one the slew is
    // going to, from the moment it sets off.
    s_->moveRateDegPerSec[0] = s_->moveRateDegPerSec[1] = 0.0;
    s_->side = position.side;
    s_->atHome = false;
    s_->parking = false;
    s_->UpdateRates(t);
    s_->motion.StartSlew(t, position.axes, s_->options.slewRateDegPerSec * kDegToRad,
                         s_->slewSettleTimeSec);
}

void SimulatedMount::SlewToReported(double raHours, double decDeg) {
    const double t = s_->Now();
    const double mechanicalRa = raHours * kHoursToRad - s_->syncRaOffset;
    const double mechanicalDec =
        std::clamp(decDeg * kDegToRad - s_->syncDecOffset, -kHalfPi, kHalfPi);
    const double ha = WrapPi(s_->SiderealAt(t) - mechanicalRa);
    SlewToPosition(t, s_->PositionFor({ha, mechanicalDec}, s_->SideFor(ha)));
}

void SimulatedMount::WaitForSlew() {
    for (;;) {
        const double t = s_->Now();
        if (!s_->motion.SlewActive(t)) return;
        const double left = (s_->motion.SlewEnd() - t) / s_->options.timeScale;
        s_->clock->Sleep(std::clamp(left, 0.001, kWaitStep));
    }
}

void SimulatedMount::SyncReportedTo(double raHours, double decDeg) {
    const double t = s_->Now();
    const HaDec m = s_->MechanicalAt(t);
    const double mechanicalRa = s_->SiderealAt(t) - m.ha;
    s_->syncRaOffset = WrapPi(raHours * kHoursToRad - mechanicalRa);
    s_->syncDecOffset = decDeg * kDegToRad - m.dec;
}

QPair<double, double> SimulatedMount::ReportedFromHorizon(double azDeg, double altDeg) const {
    const double t = s_->Now();
    const auto p =
        ascom::aa_hadec(s_->latitudeDeg * kDegToRad, altDeg * kDegToRad, azDeg * kDegToRad);
    return {RadToHours24(s_->SiderealAt(t) - p.haRad), p.decRad * kRadToDeg};
}

// ---- Slews ----

void SimulatedMount::BeginCoordinateSlew(double ra, double dec) {
    s_->targetRaHours = ra;
    s_->targetDecDeg = dec;
    SlewToReported(ra, dec);
}

void SimulatedMount::BeginTargetSlew() {
    SlewToReported(TargetRightAscension(), TargetDeclination());
}

void SimulatedMount::BeginHorizonSlew(double az, double alt) {
    const auto [ra, dec] = ReportedFromHorizon(az, alt);
    SlewToReported(ra, dec);
}

void SimulatedMount::SlewToCoordinates(double ra, double dec) {
    BeginCoordinateSlew(ra, dec);
    WaitForSlew();
}

void SimulatedMount::SlewToCoordinatesAsync(double ra, double dec) {
    BeginCoordinateSlew(ra, dec);
}

void SimulatedMount::SlewToTarget() {
    BeginTargetSlew();
    WaitForSlew();
}

void SimulatedMount::SlewToTargetAsync() {
    BeginTargetSlew();
}

void SimulatedMount::SlewToAltAz(double az, double alt) {
    BeginHorizonSlew(az, alt);
    WaitForSlew();
}

void SimulatedMount::SlewToAltAzAsync(double az, double alt) {
    BeginHorizonSlew(az, alt);
}

void SimulatedMount::AbortSlew() {
    const double t = s_->Now();
    // Short of a park or home position the mount is at neither.
    if (s_->motion.SlewActive(t)) s_->atHome = false;
    s_->parking = false;
    s_->motion.StopSlew(t);
    s_->motion.StopPulses(t);
    s_->moveRateDegPerSec[0] = s_->moveRateDegPerSec[1] = 0.0;
    s_->UpdateRates(t);
}

void SimulatedMount::SetSideOfPier(PierSide value) {
    if (value == s_->side) return;
    // The same mechanical position reached from the other side: a flip.
    const double t = s_->Now();
    SlewToPosition(t, s_->PositionFor(s_->MechanicalAt(t), value));
}

// ---- Syncs ----

void SimulatedMount::SyncToCoordinates(double ra, double dec) {
    RequireStill("SyncToCoordinates");
    s_->targetRaHours = ra;
    s_->targetDecDeg = dec;
    SyncReportedTo(ra, dec);
}

void SimulatedMount::SyncToTarget() {
    const double ra = TargetRightAscension(), dec = TargetDeclination();
    RequireStill("SyncToTarget");
    SyncReportedTo(ra, dec);
}

void SimulatedMount::SyncToAltAz(double az, double alt) {
    RequireStill("SyncToAltAz");
    const auto [ra, dec] = ReportedFromHorizon(az, alt);
    SyncReportedTo(ra, dec);
}

// ---- Park and home ----

void SimulatedMount::StartPark() {
    // The guards the late-bound Park passes.
    if (!CanPark()) NotImplemented(QStringLiteral("Park"));
    if (!Connected()) ascom_error::NotConnected(source());
    if (s_->ParkedAt(s_->Now())) return;
    // Tracking stops first, so the park position is an axis position.
    s_->tracking = false;
    SlewToPosition(s_->Now(), s_->park);
    s_->parking = true;
}

void SimulatedMount::Park() {
    StartPark();
    WaitForSlew();
    if (s_->ParkedAt(s_->Now())) s_->atPark = true;
    s_->parking = false;
}

void SimulatedMount::Unpark() {
    s_->atPark = false;
    s_->parking = false;
}

void SimulatedMount::SetPark() {
    s_->park = {s_->motion.At(s_->Now()), s_->options.german ? s_->side : PierSide::pierEast};
}

void SimulatedMount::StartFindHome() {
    if (!CanFindHome()) NotImplemented(QStringLiteral("FindHome"));
    if (!Connected()) ascom_error::NotConnected(source());
    RequireUnparked("FindHome");
    s_->tracking = false;
    SlewToPosition(s_->Now(), s_->home);
    // AtHome reads true once the slew has ended; an abort clears it.
    s_->atHome = true;
}

void SimulatedMount::FindHome() {
    StartFindHome();
    WaitForSlew();
}

// ---- Tracking, manual motion and guiding ----

void SimulatedMount::SetTracking(bool value) {
    if (value) RequireUnparked("Tracking");
    s_->tracking = value;
    if (value) s_->atHome = false;
    s_->UpdateRates(s_->Now());
}

void SimulatedMount::MoveAxis(TelescopeAxes axis, double rate) {
    const double max = s_->options.slewRateDegPerSec;
    if (!(std::fabs(rate) <= max))
        ascom_error::InvalidValue(
            source(), QStringLiteral("MoveAxis rate %1 is outside -%2 to %2 degrees per second.")
                          .arg(rate)
                          .arg(max));
    const double t = s_->Now();
    // Manual motion takes over from a go-to, short of any park or home.
    if (s_->motion.SlewActive(t)) {
        s_->motion.StopSlew(t);
        s_->atHome = false;
        s_->parking = false;
    }
    s_->moveRateDegPerSec[static_cast<int>(axis)] = rate;
    if (rate != 0.0) s_->atHome = false;
    s_->UpdateRates(t);
}

void SimulatedMount::PulseGuide(GuideDirections direction, int durationMs) {
    RequireStill("PulseGuide");

    const double t = s_->Now();
    const double end = t + durationMs / 1000.0;
    // East raises the right ascension (lowers the hour angle); north raises
    // the declination, which turns the secondary axis backwards when the
    // tube is west of the pier.
    const double raRate = s_->guideRateRaDegPerSec * kDegToRad;
    const double decRate = s_->guideRateDecDegPerSec * kDegToRad * (s_->Inverted() ? -1.0 : 1.0);
    switch (direction) {
        case GuideDirections::guideEast:
            s_->motion.StartPulse(t, AxisMotion::kPrimary, -raRate, end);
            break;
        case GuideDirections::guideWest:
            s_->motion.StartPulse(t, AxisMotion::kPrimary, raRate, end);
            break;
        case GuideDirections::guideNorth:
            s_->motion.StartPulse(t, AxisMotion::kSecondary, decRate, end);
            break;
        case GuideDirections::guideSouth:
            s_->motion.StartPulse(t, AxisMotion::kSecondary, -decRate, end);
            break;
    }
    s_->atHome = false;
}

}  // namespace celaris
