// The simulated mount's construction, its truth, and its ASCOM properties.
// The moving members are in simulated_mount_motion.cpp.
#include "celaris/drivers/simulator/simulated_mount.h"

#include <cmath>

#include "celaris/ascom/altaz.h"
#include "celaris/dispatch/ascom_errors.h"
#include "celaris/dispatch/com_error.h"
#include "celaris/version.h"
#include "mount_state.h"

namespace celaris {

using namespace sim;

namespace {

// Checks one written value against its documented range.
void CheckRange(const QString& source, const char* what, double v, double lo, double hi,
                const char* unit) {
    if (!(v >= lo && v <= hi))
        ascom_error::InvalidValue(source, QStringLiteral("%1 %2 is outside %3 to %4 %5.")
                                              .arg(QLatin1String(what))
                                              .arg(v)
                                              .arg(lo)
                                              .arg(hi)
                                              .arg(QLatin1String(unit)));
}

QDateTime UtcFromUnixSeconds(double unixSeconds) {
    return QDateTime::fromMSecsSinceEpoch(std::llround(unixSeconds * 1000.0), Qt::UTC);
}

}  // namespace

SimulatedMount::SimulatedMount(SimulatorOptions options, std::shared_ptr<SimulatorClock> clock)
    : TelescopeBase(QString::fromLatin1(kSimulatorDriverId)),
      s_(std::make_unique<MountState>(std::move(options), std::move(clock))) {}

SimulatedMount::~SimulatedMount() = default;

// ---- Guards of the mount's own ----

void SimulatedMount::RequireUnparked(const char* member) const {
    if (s_->ParkedAt(s_->Now())) ascom_error::InvalidWhileParked(source(), QLatin1String(member));
}

void SimulatedMount::RequireStill(const char* member) const {
    if (s_->SlewingAt(s_->Now()))
        ascom_error::InvalidOperation(
            source(), QStringLiteral("%1 is not possible while the mount is slewing.")
                          .arg(QLatin1String(member)));
}

// ---- The truth ----

SkyPointing SimulatedMount::TruePointing() const {
    const double t = s_->Now();
    const double lst = s_->SiderealAt(t);
    const HaDec mech = s_->MechanicalAt(t);
    const HaDec truth = TruePlace(mech, s_->Inverted(), s_->Physics());
    SkyPointing p;
    p.raHours = RadToHours24(lst - truth.ha);
    p.decDeg = truth.dec * kRadToDeg;
    p.hourAngleHours = WrapPi(truth.ha) * kRadToHours;
    p.siderealTimeHours = RadToHours24(lst);
    p.mechanicalHourAngleHours = mech.ha * kRadToHours;
    p.mechanicalDecDeg = mech.dec * kRadToDeg;
    p.sideOfPier = s_->options.german ? s_->side : PierSide::pierEast;
    p.utc = UtcFromUnixSeconds(s_->UnixSecondsAt(t));
    return p;
}

HiddenTerms SimulatedMount::hiddenTerms() const {
    return s_->terms;
}

void SimulatedMount::SetHiddenTerms(const HiddenTerms& terms) {
    s_->terms = terms;
}

const SimulatorOptions& SimulatedMount::options() const {
    return s_->options;
}

// ---- Identity (readable without a connection) ----

QString SimulatedMount::Name() {
    return QStringLiteral("Celaris Simulator");
}

QString SimulatedMount::Description() {
    return QStringLiteral("Celaris Mount Simulator");
}

QString SimulatedMount::DriverInfo() {
    return QStringLiteral(
               "Celaris Mount Simulator %1: a German equatorial or fork mount with a hidden "
               "pointing error, for trying Celaris without hardware.")
        .arg(QLatin1String(version::kMajorMinor));
}

QString SimulatedMount::DriverVersion() {
    return QString::fromLatin1(version::kMajorMinor);
}

int SimulatedMount::InterfaceVersion() {
    return 3;
}

bool SimulatedMount::Connected() {
    return s_->connected;
}

void SimulatedMount::SetConnected(bool value) {
    s_->connected = value;
}

// ---- Capabilities (readable without a connection) ----

bool SimulatedMount::CanFindHome() {
    return s_->options.can.canFindHome;
}
bool SimulatedMount::CanPark() {
    return s_->options.can.canPark;
}
bool SimulatedMount::CanPulseGuide() {
    return s_->options.can.canPulseGuide;
}
bool SimulatedMount::CanSetDeclinationRate() {
    return s_->options.can.canSetDeclinationRate;
}
bool SimulatedMount::CanSetGuideRates() {
    return s_->options.can.canSetGuideRates;
}
bool SimulatedMount::CanSetPark() {
    return s_->options.can.canSetPark;
}
bool SimulatedMount::CanSetPierSide() {
    // Only a German mount has another side to go to.
    return s_->options.can.canSetPierSide && s_->options.german;
}
bool SimulatedMount::CanSetRightAscensionRate() {
    return s_->options.can.canSetRightAscensionRate;
}
bool SimulatedMount::CanSetTracking() {
    return s_->options.can.canSetTracking;
}
bool SimulatedMount::CanSlew() {
    return s_->options.can.canSlew;
}
bool SimulatedMount::CanSlewAltAz() {
    return s_->options.can.canSlewAltAz;
}
bool SimulatedMount::CanSlewAltAzAsync() {
    return s_->options.can.canSlewAltAzAsync;
}
bool SimulatedMount::CanSlewAsync() {
    return s_->options.can.canSlewAsync;
}
bool SimulatedMount::CanSync() {
    return s_->options.can.canSync;
}
bool SimulatedMount::CanSyncAltAz() {
    return s_->options.can.canSyncAltAz;
}
bool SimulatedMount::CanUnpark() {
    return s_->options.can.canUnpark;
}

bool SimulatedMount::CanMoveAxis(TelescopeAxes axis) {
    switch (axis) {
        case TelescopeAxes::axisPrimary:
            return s_->options.can.canMovePrimaryAxis;
        case TelescopeAxes::axisSecondary:
            return s_->options.can.canMoveSecondaryAxis;
        case TelescopeAxes::axisTertiary:
            return false;
    }
    ascom_error::InvalidValue(
        source(), QStringLiteral("Axis %1 is not 0, 1 or 2.").arg(static_cast<int>(axis)));
}

AxisRates SimulatedMount::AxisRates(TelescopeAxes axis) {
    if (!CanMoveAxis(axis)) return {};
    return {AxisRate{0.0, s_->options.slewRateDegPerSec}};
}

TrackingRates SimulatedMount::TrackingRates() {
    return {static_cast<int>(DriveRates::driveSidereal), static_cast<int>(DriveRates::driveLunar),
            static_cast<int>(DriveRates::driveSolar), static_cast<int>(DriveRates::driveKing)};
}

// ---- Fixed facts of the mount ----

AlignmentModes SimulatedMount::AlignmentMode() {
    return s_->options.german ? AlignmentModes::algGermanPolar : AlignmentModes::algPolar;
}

double SimulatedMount::ApertureArea() {
    return s_->options.apertureAreaM2;
}

double SimulatedMount::ApertureDiameter() {
    return s_->options.apertureDiameterM;
}

double SimulatedMount::FocalLength() {
    return s_->options.focalLengthM;
}

bool SimulatedMount::DoesRefraction() {
    return false;
}

EquatorialCoordinateType SimulatedMount::EquatorialSystem() {
    return EquatorialCoordinateType::equLocalTopocentric;
}

// ---- Position ----

double SimulatedMount::RightAscension() {
    return RadToHours24(s_->ReportedAt(s_->Now()).ra);
}

double SimulatedMount::Declination() {
    return s_->ReportedAt(s_->Now()).dec * kRadToDeg;
}

double SimulatedMount::Altitude() {
    const auto r = s_->ReportedAt(s_->Now());
    return ascom::hadec_aa(s_->latitudeDeg * kDegToRad, r.ha, r.dec).altRad * kRadToDeg;
}

double SimulatedMount::Azimuth() {
    const auto r = s_->ReportedAt(s_->Now());
    return ascom::hadec_aa(s_->latitudeDeg * kDegToRad, r.ha, r.dec).azRad * kRadToDeg;
}

PierSide SimulatedMount::SideOfPier() {
    return s_->options.german ? s_->side : PierSide::pierEast;
}

// The side follows from the hour angle alone.
PierSide SimulatedMount::DestinationSideOfPier(double ra, double) {
    const double mechanicalRa = ra * kHoursToRad - s_->syncRaOffset;
    return s_->SideFor(s_->SiderealAt(s_->Now()) - mechanicalRa);
}

bool SimulatedMount::AtHome() {
    return s_->atHome && !s_->SlewingAt(s_->Now());
}

bool SimulatedMount::AtPark() {
    return s_->ParkedAt(s_->Now());
}

bool SimulatedMount::Slewing() {
    return s_->SlewingAt(s_->Now());
}

bool SimulatedMount::IsPulseGuiding() {
    return s_->motion.PulseActive(s_->Now());
}

// ---- Targets ----

double SimulatedMount::TargetRightAscension() {
    if (!s_->targetRaHours)
        ascom_error::ValueNotSet(source(),
                                 QStringLiteral("TargetRightAscension has not been set."));
    return *s_->targetRaHours;
}

double SimulatedMount::TargetDeclination() {
    if (!s_->targetDecDeg)
        ascom_error::ValueNotSet(source(), QStringLiteral("TargetDeclination has not been set."));
    return *s_->targetDecDeg;
}

void SimulatedMount::SetTargetRightAscension(double value) {
    s_->targetRaHours = value;
}

void SimulatedMount::SetTargetDeclination(double value) {
    s_->targetDecDeg = value;
}

// ---- Site and time ----

double SimulatedMount::SiteLatitude() {
    return s_->latitudeDeg;
}

double SimulatedMount::SiteLongitude() {
    return s_->longitudeDeg;
}

double SimulatedMount::SiteElevation() {
    return s_->elevationM;
}

void SimulatedMount::SetSiteLatitude(double value) {
    s_->latitudeDeg = value;
}

void SimulatedMount::SetSiteLongitude(double value) {
    s_->longitudeDeg = value;
}

void SimulatedMount::SetSiteElevation(double value) {
    s_->elevationM = value;
}

double SimulatedMount::SiderealTime() {
    return RadToHours24(s_->SiderealAt(s_->Now()));
}

QDateTime SimulatedMount::UTCDate() {
    return UtcFromUnixSeconds(s_->UnixSecondsAt(s_->Now()));
}

void SimulatedMount::SetUTCDate(const QDateTime& value) {
    if (!value.isValid())
        ascom_error::InvalidValue(source(), QStringLiteral("UTCDate is not a valid date."));
    // The clock moves, the axes do not: only the sidereal time jumps.
    const double wanted = static_cast<double>(value.toMSecsSinceEpoch()) / 1000.0;
    s_->utcOffsetSeconds += wanted - s_->UnixSecondsAt(s_->Now());
}

// ---- Rates ----

bool SimulatedMount::Tracking() {
    return s_->tracking;
}

DriveRates SimulatedMount::TrackingRate() {
    return s_->trackingRate;
}

void SimulatedMount::SetTrackingRate(DriveRates value) {
    s_->trackingRate = value;
    s_->UpdateRates(s_->Now());
}

double SimulatedMount::RightAscensionRate() {
    return s_->raRateSecPerSiderealSec;
}

double SimulatedMount::DeclinationRate() {
    return s_->decRateArcsecPerSec;
}

void SimulatedMount::SetRightAscensionRate(double value) {
    CheckRange(source(), "RightAscensionRate", value, -3600.0, 3600.0,
               "seconds per sidereal second");
    s_->raRateSecPerSiderealSec = value;
    s_->UpdateRates(s_->Now());
}

void SimulatedMount::SetDeclinationRate(double value) {
    CheckRange(source(), "DeclinationRate", value, -54000.0, 54000.0, "arc seconds per second");
    s_->decRateArcsecPerSec = value;
    s_->UpdateRates(s_->Now());
}

double SimulatedMount::GuideRateRightAscension() {
    return s_->guideRateRaDegPerSec;
}

double SimulatedMount::GuideRateDeclination() {
    return s_->guideRateDecDegPerSec;
}

void SimulatedMount::SetGuideRateRightAscension(double value) {
    CheckRange(source(), "GuideRateRightAscension", value, 0.0, s_->options.slewRateDegPerSec,
               "degrees per second");
    s_->guideRateRaDegPerSec = value;
}

void SimulatedMount::SetGuideRateDeclination(double value) {
    CheckRange(source(), "GuideRateDeclination", value, 0.0, s_->options.slewRateDegPerSec,
               "degrees per second");
    s_->guideRateDecDegPerSec = value;
}

int SimulatedMount::SlewSettleTime() {
    return s_->slewSettleTimeSec;
}

void SimulatedMount::SetSlewSettleTime(int value) {
    CheckRange(source(), "SlewSettleTime", value, 0.0, 3600.0, "seconds");
    s_->slewSettleTimeSec = value;
}

}  // namespace celaris
