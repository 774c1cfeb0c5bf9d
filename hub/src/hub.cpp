#include "celaris/hub/hub.h"

#include <cmath>
#include <cstdio>

#include "celaris/ascom/altaz.h"
#include "celaris/ascom/sidereal_time.h"
#include "celaris/dispatch/errors.h"

namespace celaris::hub {

namespace {

// The synchronous slew without a window: the blocking driver call itself.
class HeadlessSlewing : public SlewingWindow {
  public:
    explicit HeadlessSlewing(Hub& hub) : hub_(hub) {}
    void RunSynchronousSlew() override {
        try {
            hub_.ConnectedDriver().Call(QStringLiteral("SlewToTarget"));
            hub_.state().ObservationTaken = false;
        } catch (...) {
            hub_.ui().ShowCurrentError();
        }
    }

  private:
    Hub& hub_;
};

}  // namespace

double NormaliseRadians(double angle) {
    if (!std::isfinite(angle)) return angle;
    while (angle >= units::kTwoPiTruncated) angle -= units::kTwoPiTruncated;
    while (angle < 0.0) angle += units::kTwoPiTruncated;
    return angle;
}

Hub::Hub(Settings& settings, HubProfile& profile, dispatch::Ui& ui,
         std::unique_ptr<EngineRef> engine)
    : settings_(settings),
      profile_(profile),
      ui_(ui),
      engine_(std::move(engine)),
      headlessSlewing_(std::make_unique<HeadlessSlewing>(*this)) {
    slewingWindow_ = headlessSlewing_.get();
}

Hub::~Hub() = default;

Driver& Hub::ConnectedDriver() {
    if (!state_.DriverConnected || !state_.ScopeDriver) throw dispatch::ErrHubNotConnected();
    if (state_.DriverLost) throw *state_.DriverLost;
    return *state_.ScopeDriver;
}

void Hub::RequestStatusUpdate() {
    if (statusUpdater_) statusUpdater_();
}

void Hub::UpdateSiderealTime() {
    if (clock_) {
        // The engine reads the computer's clock; at a set instant the same
        // mean sidereal time comes from the platform's expression.
        const double deg = ascom::GreenwichMeanSiderealTimeDeg(clock_()) + settings_.Longitude;
        siderealAngle_ = NormaliseRadians(deg * kDegreesToRadians);
        return;
    }
    siderealAngle_ =
        engine_->LocalSiderialTime(settings_.Longitude * kDegreesToRadians) * kHoursToRadians;
}

void Hub::Log(const QString& line) {
    if (log_) {
        log_(line);
        return;
    }
    std::fprintf(stderr, "celaris: %s\n", qPrintable(line));
}

RaDec Hub::ScopeToTrueRADec(double raHours, double decDeg) {
    const double ha = siderealAngle_ - raHours * kHoursToRadians;
    const HADec c = engine_->GetCorrectedHADec(ha, decDeg * kDegreesToRadians);
    return {NormaliseRadians(siderealAngle_ - c.ha) * kRadiansToHours, c.dec * kRadiansToDegrees};
}

RaDec Hub::TrueToScopeRADec(double raHours, double decDeg) {
    const double ha = siderealAngle_ - raHours * kHoursToRadians;
    const HADec s = engine_->GetScopeHADec(ha, decDeg * kDegreesToRadians);
    return {NormaliseRadians(siderealAngle_ - s.ha) * kRadiansToHours, s.dec * kRadiansToDegrees};
}

double Hub::CorrectedRAFromScope() {
    const RaDec c = ScopeToTrueRADec(state_.ScopeRA, state_.ScopeDec);
    state_.CorrectedRA = c.ra;
    state_.CorrectedDec = c.dec;
    return c.ra;
}

double Hub::CorrectedDecFromScope() {
    CorrectedRAFromScope();
    return state_.CorrectedDec;
}

void Hub::PollPosition() {
    if (!state_.DriverConnected || !state_.ScopeDriver) return;
    const auto step = [](auto&& fn) {
        try {
            fn();
        } catch (...) {
        }
    };
    Driver& d = *state_.ScopeDriver;
    step([&] { UpdateSiderealTime(); });
    // Right ascension first: its correction uses the previous declination.
    step([&] {
        state_.ScopeRA =
            ToDouble(d.Get(QStringLiteral("RightAscension")), QStringLiteral("RightAscension"));
    });
    step([&] { CorrectedRAFromScope(); });
    step([&] {
        state_.ScopeDec =
            ToDouble(d.Get(QStringLiteral("Declination")), QStringLiteral("Declination"));
    });
    step([&] { CorrectedDecFromScope(); });
}

void Hub::CheckSite() {
    state_.SiteMismatch.clear();
    double lat = 0.0, lon = 0.0;
    try {
        Driver& d = ConnectedDriver();
        lat = ToDouble(d.Get(QStringLiteral("SiteLatitude")), QStringLiteral("SiteLatitude"));
        lon = ToDouble(d.Get(QStringLiteral("SiteLongitude")), QStringLiteral("SiteLongitude"));
    } catch (...) {
        return;
    }
    constexpr double kTolerance = 0.01;  // degrees
    const double dLat = lat - settings_.Latitude;
    const double dLon = std::remainder(lon - settings_.Longitude, 360.0);
    if (std::fabs(dLat) <= kTolerance && std::fabs(dLon) <= kTolerance) return;
    state_.SiteMismatch =
        QStringLiteral(
            "The mount reports its site at latitude %1, longitude %2 degrees, but Celaris "
            "corrects for latitude %3, longitude %4: set the same site in both, or positions "
            "near the horizon are off by arc-minutes.")
            .arg(lat, 0, 'f', 4)
            .arg(lon, 0, 'f', 4)
            .arg(settings_.Latitude, 0, 'f', 4)
            .arg(settings_.Longitude, 0, 'f', 4);
    Log(QStringLiteral("warning: ") + state_.SiteMismatch);
}

void Hub::ApplyPierSide(double raHours, double decDeg) {
    if (!settings_.IsGerman) return;
    bool flip = false;
    bool keep = false;
    if (state_.CanDestinationSideOfPier) {
        // The driver knows where it will put the tube.
        const QVariant side =
            ConnectedDriver().Call(QStringLiteral("DestinationSideOfPier"), {raHours, decDeg});
        flip = ToInt(side, QStringLiteral("DestinationSideOfPier")) != 0;
    } else {
        // Estimate from the hour angle; inside the band around the meridian
        // the side last chosen stays.
        const double s = std::sin(siderealAngle_ - raHours * kHoursToRadians);
        const double sE = std::fabs(std::sin(settings_.FlipLimitERad));
        const double sW = std::fabs(std::sin(settings_.FlipLimitWRad));
        if (s > sW)
            flip = true;
        else if (s < -sE)
            flip = false;
        else
            keep = true;
    }
    // A forced pier side model overrides the choice, not the keeping.
    if (settings_.PierSideModel != 2) flip = settings_.PierSideModel == 1;
    if (keep) return;
    state_.PierInverted = flip;
    engine_->SetInverted(flip);
}

bool Hub::BelowAltLimit(double raRad, double decRad) {
    const auto h =
        ascom::hadec_aa(settings_.Latitude * kDegreesToRadians, siderealAngle_ - raRad, decRad);
    return h.altRad < settings_.AltLimitRad;
}

void Hub::CheckSlewLimits(double raRad, double decRad) {
    // Both limits are upper limits, compared with their sign.
    const bool decOver = decRad >= settings_.DecLimitRad;
    const bool altOver = !BelowAltLimit(raRad, decRad);
    if ((decOver || altOver) && settings_.EnforceLimits) throw dispatch::ErrSlewLimits();
}

RaDec Hub::ApproachPoint(double raHours, double decDeg) const {
    if (!settings_.AntiBacklash) return {raHours, decDeg};
    // Twice the backlash east in right ascension...
    double ra = (settings_.BacklashRad + settings_.BacklashRad) * kRadiansToHours + raHours;
    if (ra >= 24.0) ra -= 24.0;
    // ... and twice the backlash south (north on the flipped side).
    const double d = (settings_.BacklashRad + settings_.BacklashRad) * kRadiansToDegrees;
    double dec;
    if (state_.PierInverted) {
        dec = decDeg + d;
        if (dec >= 90.0) dec = 89.9999;
    } else {
        dec = decDeg - d;
        if (dec <= -90.0) dec = -89.9999;
    }
    return {ra, dec};
}

RaDec Hub::AntiBacklashApproach(double raHours, double decDeg) {
    state_.SecondLegDone = false;
    if (settings_.AntiBacklash) {
        state_.FinalTargetRA = raHours;
        state_.FinalTargetDec = decDeg;
    }
    return ApproachPoint(raHours, decDeg);
}

bool Hub::DriverSlewing() {
    return ToBool(ConnectedDriver().Get(QStringLiteral("Slewing")), QStringLiteral("Slewing"));
}

void Hub::StopPauseClock() {
    pauseClock_ = 0.0;
    pauseRunning_ = false;
}

void Hub::PauseClockTick() {
    if (pauseRunning_) pauseClock_ += 0.1;
}

void Hub::SlewCompletionStep() {
    if (!state_.DriverConnected || DriverSlewing()) return;
    if (state_.SettleCount > 0) {
        --state_.SettleCount;
        return;
    }
    if (!settings_.AntiBacklash || state_.SecondLegDone) {
        StopPauseClock();
        if (slewComplete_) slewComplete_();
        return;
    }
    // A final leg is pending: wait out the pause first when asked to.
    if (settings_.FirstSlewPause && pauseClock_ < settings_.SlewPause) {
        pauseRunning_ = true;
        return;
    }
    Driver& driver = ConnectedDriver();
    driver.Put(QStringLiteral("TargetRightAscension"), state_.FinalTargetRA);
    driver.Put(QStringLiteral("TargetDeclination"), state_.FinalTargetDec);
    for (int attempt = 0; attempt < 5; ++attempt) {
        Slew2TargetBest();
        if (DriverSlewing()) break;
    }
    state_.SecondLegDone = true;
    state_.SettleCount = 1;
}

void Hub::Slew2TargetBest() {
    state_.SettleCount = 1;
    if (DriverSlewing()) return;
    Driver& driver = ConnectedDriver();
    if (ToBool(driver.Get(QStringLiteral("CanSlewAsync")), QStringLiteral("CanSlewAsync"))) {
        driver.Call(QStringLiteral("SlewToTargetAsync"));
        state_.ObservationTaken = false;
    } else if (ToBool(driver.Get(QStringLiteral("CanSlew")), QStringLiteral("CanSlew"))) {
        slewingWindow_->RunSynchronousSlew();
    } else {
        ui_.ReportFailing(QStringLiteral("Slewing"));
    }
}

void Hub::Slew2TargetAB() {
    Driver& driver = ConnectedDriver();
    const double ra = ToDouble(driver.Get(QStringLiteral("TargetRightAscension")),
                               QStringLiteral("TargetRightAscension"));
    const double dec = ToDouble(driver.Get(QStringLiteral("TargetDeclination")),
                                QStringLiteral("TargetDeclination"));
    const RaDec a = AntiBacklashApproach(ra, dec);
    driver.Put(QStringLiteral("TargetRightAscension"), a.ra);
    driver.Put(QStringLiteral("TargetDeclination"), a.dec);
    Slew2TargetBest();
}

}  // namespace celaris::hub
