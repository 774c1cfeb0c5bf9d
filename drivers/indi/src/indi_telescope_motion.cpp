// IndiTelescope: targets, slews, syncs, abort, park, pulse guiding and
// manual motion.
#include <QThread>

#include <cmath>

#include "celaris/dispatch/ascom_errors.h"
#include "celaris/drivers/indi/indi_telescope.h"
#include "judges.h"
#include "slew_rates.h"

namespace celaris::indi {

namespace {

constexpr int32_t kDriverError = static_cast<int32_t>(0x80040500);

QString P(const char* name) {
    return QString::fromLatin1(name);
}

}  // namespace

// ---- Targets -------------------------------------------------------------

void IndiTelescope::CheckCoordinates(double ra, double dec) const {
    if (!(ra >= 0.0 && ra < 24.0))
        ascom_error::InvalidValue(
            source(), QStringLiteral("Right ascension %1 is outside 0 to 24 hours.").arg(ra));
    if (!(dec >= -90.0 && dec <= 90.0))
        ascom_error::InvalidValue(
            source(), QStringLiteral("Declination %1 is outside -90 to 90 degrees.").arg(dec));
}

double IndiTelescope::TargetRightAscension() {
    if (!targetRa_)
        ascom_error::ValueNotSet(source(),
                                 QStringLiteral("TargetRightAscension has not been set."));
    return *targetRa_;
}

double IndiTelescope::TargetDeclination() {
    if (!targetDec_)
        ascom_error::ValueNotSet(source(), QStringLiteral("TargetDeclination has not been set."));
    return *targetDec_;
}

void IndiTelescope::SetTargetRightAscension(double value) {
    CheckCoordinates(value, 0.0);
    targetRa_ = value;
}

void IndiTelescope::SetTargetDeclination(double value) {
    CheckCoordinates(0.0, value);
    targetDec_ = value;
}

QPair<double, double> IndiTelescope::Target(const QString& member) const {
    if (!targetRa_ || !targetDec_)
        ascom_error::ValueNotSet(
            source(),
            QStringLiteral("%1 needs TargetRightAscension and TargetDeclination set.").arg(member));
    return {*targetRa_, *targetDec_};
}

// ---- Slews and syncs -----------------------------------------------------

void IndiTelescope::SelectCoordSet(const QString& member, const QString& element) {
    const auto set = Prop("ON_COORD_SET");
    if (set && set->IsOn(element)) return;
    SetSwitch(member, "ON_COORD_SET", element);
}

void IndiTelescope::Goto(const QString& member, double ra, double dec, bool wait) {
    Need("EQUATORIAL_EOD_COORD", member);
    if (!CanSlew())
        Unsupported(
            member,
            QStringLiteral("the INDI device \"%1\" cannot go to coordinates.").arg(device_));
    CheckCoordinates(ra, dec);

    // INDI mounts track once a goto ends; one that starts without tracking
    // may land behind its target (the INDI simulator does). Not while
    // parked: then the device is to say why it does not go.
    const auto park = Prop("TELESCOPE_PARK");
    const auto track = Prop("TELESCOPE_TRACK_STATE");
    if (!(park && park->IsOn(P("PARK"))) && CanSetTracking() && track &&
        !track->IsOn(P("TRACK_ON"))) {
        try {
            SetSwitch(member, "TELESCOPE_TRACK_STATE", P("TRACK_ON"));
        } catch (const ComError&) {
            if (client_->IsLost()) throw;
            // The goto's own answer tells what matters.
        }
    }
    SelectCoordSet(member, Offers("ON_COORD_SET", "TRACK") ? P("TRACK") : P("SLEW"));
    targetRa_ = ra;
    targetDec_ = dec;
    const uint64_t sent = Command(
        member, "EQUATORIAL_EOD_COORD",
        [&] {
            return client_->SendNumbers(device_, P("EQUATORIAL_EOD_COORD"),
                                        {{P("RA"), ra}, {P("DEC"), dec}});
        },
        GotoJudge(ra, dec));
    if (!wait) return;
    WaitWhileBusy(member, "EQUATORIAL_EOD_COORD", sent);
    if (settleTime_ > 0) QThread::sleep(static_cast<unsigned long>(settleTime_));
}

void IndiTelescope::Sync(const QString& member, double ra, double dec) {
    Need("EQUATORIAL_EOD_COORD", member);
    if (!CanSync())
        Unsupported(member, QStringLiteral("the INDI device \"%1\" cannot sync.").arg(device_));
    CheckCoordinates(ra, dec);
    SelectCoordSet(member, P("SYNC"));
    // ON_COORD_SET stays on SYNC until told otherwise: the next goto would
    // sync instead. Restore it whatever the sync's answer.
    const auto restore = [&] {
        SelectCoordSet(member, Offers("ON_COORD_SET", "TRACK") ? P("TRACK") : P("SLEW"));
    };
    try {
        Command(
            member, "EQUATORIAL_EOD_COORD",
            [&] {
                return client_->SendNumbers(device_, P("EQUATORIAL_EOD_COORD"),
                                            {{P("RA"), ra}, {P("DEC"), dec}});
            },
            SyncJudge(ra, dec));
    } catch (const ComError&) {
        try {
            restore();
        } catch (const ComError&) {
        }
        throw;
    }
    restore();
    targetRa_ = ra;
    targetDec_ = dec;
}

void IndiTelescope::SlewToCoordinates(double ra, double dec) {
    Goto(QStringLiteral("SlewToCoordinates"), ra, dec, true);
}

void IndiTelescope::SlewToCoordinatesAsync(double ra, double dec) {
    Goto(QStringLiteral("SlewToCoordinatesAsync"), ra, dec, false);
}

void IndiTelescope::SlewToTarget() {
    const QString m = QStringLiteral("SlewToTarget");
    const auto [ra, dec] = Target(m);
    Goto(m, ra, dec, true);
}

void IndiTelescope::SlewToTargetAsync() {
    const QString m = QStringLiteral("SlewToTargetAsync");
    const auto [ra, dec] = Target(m);
    Goto(m, ra, dec, false);
}

void IndiTelescope::SyncToCoordinates(double ra, double dec) {
    Sync(QStringLiteral("SyncToCoordinates"), ra, dec);
}

void IndiTelescope::SyncToTarget() {
    const QString m = QStringLiteral("SyncToTarget");
    const auto [ra, dec] = Target(m);
    Sync(m, ra, dec);
}

namespace {
const QString kNoAltAz = QStringLiteral("INDI mounts take equatorial coordinates only.");
}

void IndiTelescope::SlewToAltAz(double, double) {
    Unsupported(QStringLiteral("SlewToAltAz"), kNoAltAz);
}

void IndiTelescope::SlewToAltAzAsync(double, double) {
    Unsupported(QStringLiteral("SlewToAltAzAsync"), kNoAltAz);
}

void IndiTelescope::SyncToAltAz(double, double) {
    Unsupported(QStringLiteral("SyncToAltAz"), kNoAltAz);
}

void IndiTelescope::AbortSlew() {
    const QString m = QStringLiteral("AbortSlew");
    Need("TELESCOPE_ABORT_MOTION", m);
    Command(
        m, "TELESCOPE_ABORT_MOTION",
        [&] {
            return client_->SendSwitches(device_, P("TELESCOPE_ABORT_MOTION"),
                                         {{P("ABORT"), true}});
        },
        ValueJudge());
}

// ---- Park ----------------------------------------------------------------

void IndiTelescope::Park() {
    const QString m = QStringLiteral("Park");
    Need("TELESCOPE_PARK", m);
    if (!CanPark())
        Unsupported(m, QStringLiteral("the INDI device \"%1\" cannot park.").arg(device_));
    if (AtPark()) return;
    const uint64_t sent = SetSwitch(m, "TELESCOPE_PARK", P("PARK"));
    WaitWhileBusy(m, "TELESCOPE_PARK", sent);
    // The position may report the end of the move just after the park.
    WaitWhileBusy(m, "EQUATORIAL_EOD_COORD", sent);
    if (!AtPark())
        Raise(kDriverError, source(),
              QStringLiteral("The INDI device \"%1\" stopped before it reached its park position.")
                  .arg(device_));
}

void IndiTelescope::Unpark() {
    const QString m = QStringLiteral("Unpark");
    const Property park = Need("TELESCOPE_PARK", m);
    if (!CanUnpark())
        Unsupported(m, QStringLiteral("the INDI device \"%1\" cannot unpark.").arg(device_));
    if (!park.IsOn(P("PARK"))) return;
    const uint64_t sent = SetSwitch(m, "TELESCOPE_PARK", P("UNPARK"));
    WaitWhileBusy(m, "TELESCOPE_PARK", sent);
}

void IndiTelescope::SetPark() {
    const QString m = QStringLiteral("SetPark");
    Need("TELESCOPE_PARK_OPTION", m);
    if (!CanSetPark())
        Unsupported(
            m, QStringLiteral("the INDI device \"%1\" cannot store a park position.").arg(device_));
    // The options are actions: they answer with every switch Off again.
    for (const char* option : {"PARK_CURRENT", "PARK_WRITE_DATA"}) {
        Command(
            m, "TELESCOPE_PARK_OPTION",
            [&] {
                return client_->SendSwitches(device_, P("TELESCOPE_PARK_OPTION"),
                                             {{P(option), true}});
            },
            ValueJudge());
    }
}

void IndiTelescope::FindHome() {
    Unsupported(QStringLiteral("FindHome"),
                QStringLiteral("INDI has no standard property to find a mount's home."));
}

// ---- Guiding and manual motion -------------------------------------------

void IndiTelescope::PulseGuide(GuideDirections direction, int durationMs) {
    const QString m = QStringLiteral("PulseGuide");
    struct Pulse {
        const char* prop;
        const char* on;
        const char* off;
    };
    Pulse pulse{};
    switch (direction) {
        case GuideDirections::guideNorth:
            pulse = {"TELESCOPE_TIMED_GUIDE_NS", "TIMED_GUIDE_N", "TIMED_GUIDE_S"};
            break;
        case GuideDirections::guideSouth:
            pulse = {"TELESCOPE_TIMED_GUIDE_NS", "TIMED_GUIDE_S", "TIMED_GUIDE_N"};
            break;
        case GuideDirections::guideEast:
            pulse = {"TELESCOPE_TIMED_GUIDE_WE", "TIMED_GUIDE_E", "TIMED_GUIDE_W"};
            break;
        case GuideDirections::guideWest:
            pulse = {"TELESCOPE_TIMED_GUIDE_WE", "TIMED_GUIDE_W", "TIMED_GUIDE_E"};
            break;
    }
    if (pulse.prop == nullptr)
        ascom_error::InvalidValue(
            source(),
            QStringLiteral("Guide direction %1 is not one of 0 to 3.").arg(int(direction)));
    if (durationMs < 0)
        ascom_error::InvalidValue(
            source(), QStringLiteral("Guide duration %1 ms is negative.").arg(durationMs));
    Need(pulse.prop, m);
    Command(
        m, pulse.prop,
        [&] {
            return client_->SendNumbers(device_, P(pulse.prop),
                                        {{P(pulse.on), double(durationMs)}, {P(pulse.off), 0.0}});
        },
        ValueJudge());
}

void IndiTelescope::MoveAxis(TelescopeAxes axis, double rate) {
    const QString m = QStringLiteral("MoveAxis");
    // Positive rates turn the primary axis west (towards larger hour
    // angle) and the secondary north.
    const char* prop = nullptr;
    const char* forward = nullptr;
    const char* backward = nullptr;
    if (axis == TelescopeAxes::axisPrimary) {
        prop = "TELESCOPE_MOTION_WE";
        forward = "MOTION_WEST";
        backward = "MOTION_EAST";
    } else if (axis == TelescopeAxes::axisSecondary) {
        prop = "TELESCOPE_MOTION_NS";
        forward = "MOTION_NORTH";
        backward = "MOTION_SOUTH";
    }
    if (prop == nullptr) Unsupported(m, QStringLiteral("INDI mounts move two axes only."));
    if (!std::isfinite(rate))
        ascom_error::InvalidValue(source(), QStringLiteral("MoveAxis rate must be a number."));
    Need(prop, m);

    if (rate == 0.0) {
        Command(
            m, prop,
            [&] {
                return client_->SendSwitches(device_, P(prop),
                                             {{P(forward), false}, {P(backward), false}});
            },
            SwitchJudge({{P(forward), false}, {P(backward), false}}));
        return;
    }
    // INDI moves at one of a few named rates: take the nearest.
    if (const auto slewRate = Prop("TELESCOPE_SLEW_RATE"); slewRate && slewRate->Writable()) {
        const QList<SlewRate> rates = SlewRates(*slewRate);
        if (!rates.isEmpty()) {
            const SlewRate& nearest = NearestRate(rates, std::fabs(rate));
            if (!slewRate->IsOn(nearest.element))
                SetSwitch(m, "TELESCOPE_SLEW_RATE", nearest.element);
        }
    }
    SetSwitch(m, prop, P(rate > 0.0 ? forward : backward));
}

}  // namespace celaris::indi
