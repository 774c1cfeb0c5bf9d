// The simulated mount's construction, its truth, and its ASCOM properties.
// The moving members are in simulated_mount_motion.cpp.
#include "celaris/drivers/simulator/simulated_mount.h"

#include <cmath>

#include "celaris/ascom/altaz.h"
#include "celaris/dispatch/ascom_errors.h"
#include "celaris/dispatch/com_error.h"
#include "mount_state.h"

#ifndef CELARIS_SIMULATOR_VERSION
#define CELARIS_SIMULATOR_VERSION "0.1"
#endif

namespace celaris {

using namespace sim;

namespace {

constexpr double kRadToHours = 12.0 / kPi;
constexpr double kRadToDeg = 180.0 / kPi;

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

// ---- Guards ----

void SimulatedMount::Require(bool capability, const char* member) const {
    if (!capability) NotImplemented(QLatin1String(member));
}

void SimulatedMount::RequireConnected() const {
    if (!s_->connected) ascom_error::NotConnected(source());
}

void SimulatedMount::RequireUnparked(const char* member) const {
    if (s_->atPark) ascom_error::InvalidWhileParked(source(), QLatin1String(member));
}

void SimulatedMount::RequireStill(const char* member) const {
    if (s_->SlewingAt(s_->Now()))
        ascom_error::InvalidOperation(
            source(), QStringLiteral("%1 is not possible while the mount is slewing.")
                          .arg(QLatin1String(member)));
}

void SimulatedMount::CheckCoordinates(double raHours, double decDeg) const {
    if (!(raHours >= 0.0 && raHours < 24.0))
        ascom_error::InvalidValue(
            source(), QStringLiteral("RightAscension %1 is outside 0 to 24 hours.").arg(raHours));
    CheckRange(source(), "Declination", decDeg, -90.0, 90.0, "degrees");
}

void SimulatedMount::CheckHorizon(double azDeg, double altDeg) const {
    CheckRange(source(), "Azimuth", azDeg, 0.0, 360.0, "degrees");
    CheckRange(source(), "Altitude", altDeg, -90.0, 90.0, "degrees");
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
        .arg(QLatin1String(CELARIS_SIMULATOR_VERSION));
}

QString SimulatedMount::DriverVersion() {
    return QStringLiteral(CELARIS_SIMULATOR_VERSION);
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

AxisRates SimulatedMount::AxisRatesFor(TelescopeAxes axis) {
    if (!CanMoveAxis(axis)) return {};
    return {AxisRate{0.0, s_->options.slewRateDegPerSec}};
}

TrackingRates SimulatedMount::TrackingRatesList() {
    return {static_cast<int>(DriveRates::driveSidereal), static_cast<int>(DriveRates::driveLunar),
            static_cast<int>(DriveRates::driveSolar), static_cast<int>(DriveRates::driveKing)};
}

// ---- Fixed facts of the mount ----

AlignmentModes SimulatedMount::AlignmentMode() {
    RequireConnected();
    return s_->options.german ? AlignmentModes::algGermanPolar : AlignmentModes::algPolar;
}

double SimulatedMount::ApertureArea() {
    RequireConnected();
    return s_->options.apertureAreaM2;
}

double SimulatedMount::ApertureDiameter() {
    RequireConnected();
    return s_->options.apertureDiameterM;
}

double SimulatedMount::FocalLength() {
    RequireConnected();
    return s_->options.focalLengthM;
}

bool SimulatedMount::DoesRefraction() {
    RequireConnected();
    return false;
}

EquatorialCoordinateType SimulatedMount::EquatorialSystem() {
    RequireConnected();
    return EquatorialCoordinateType::equLocalTopocentric;
}

// The command members take no commands at all.
void SimulatedMount::CommandBlind(const QString&, bool) {
    NotImplemented(QStringLiteral("CommandBlind"));
}
bool SimulatedMount::CommandBool(const QString&, bool) {
    NotImplemented(QStringLiteral("CommandBool"));
}
QString SimulatedMount::CommandString(const QString&, bool) {
    NotImplemented(QStringLiteral("CommandString"));
}

// ---- Position ----

double SimulatedMount::RightAscension() {
    RequireConnected();
    return RadToHours24(s_->ReportedAt(s_->Now()).ra);
}

double SimulatedMount::Declination() {
    RequireConnected();
    return s_->ReportedAt(s_->Now()).dec * kRadToDeg;
}

double SimulatedMount::Altitude() {
    RequireConnected();
    const auto r = s_->ReportedAt(s_->Now());
    return ascom::hadec_aa(s_->latitudeDeg * kDegToRad, r.ha, r.dec).altRad * kRadToDeg;
}

double SimulatedMount::Azimuth() {
    RequireConnected();
    const auto r = s_->ReportedAt(s_->Now());
    return ascom::hadec_aa(s_->latitudeDeg * kDegToRad, r.ha, r.dec).azRad * kRadToDeg;
}

PierSide SimulatedMount::SideOfPier() {
    RequireConnected();
    return s_->options.german ? s_->side : PierSide::pierEast;
}

PierSide SimulatedMount::DestinationSideOfPier(double ra, double dec) {
    RequireConnected();
    CheckCoordinates(ra, dec);
    const double mechanicalRa = ra * kHoursToRad - s_->syncRaOffset;
    return s_->SideFor(s_->SiderealAt(s_->Now()) - mechanicalRa);
}

bool SimulatedMount::AtHome() {
    RequireConnected();
    return s_->atHome && !s_->SlewingAt(s_->Now());
}

bool SimulatedMount::AtPark() {
    RequireConnected();
    return s_->atPark;
}

bool SimulatedMount::Slewing() {
    RequireConnected();
    return s_->SlewingAt(s_->Now());
}

bool SimulatedMount::IsPulseGuiding() {
    Require(s_->options.can.canPulseGuide, "IsPulseGuiding");
    RequireConnected();
    return s_->motion.PulseActive(s_->Now());
}

// ---- Targets ----

double SimulatedMount::TargetRightAscension() {
    RequireConnected();
    if (!s_->targetRaHours)
        ascom_error::ValueNotSet(source(),
                                 QStringLiteral("TargetRightAscension has not been set."));
    return *s_->targetRaHours;
}

double SimulatedMount::TargetDeclination() {
    RequireConnected();
    if (!s_->targetDecDeg)
        ascom_error::ValueNotSet(source(), QStringLiteral("TargetDeclination has not been set."));
    return *s_->targetDecDeg;
}

void SimulatedMount::SetTargetRightAscension(double value) {
    RequireConnected();
    CheckCoordinates(value, 0.0);
    s_->targetRaHours = value;
}

void SimulatedMount::SetTargetDeclination(double value) {
    RequireConnected();
    CheckRange(source(), "TargetDeclination", value, -90.0, 90.0, "degrees");
    s_->targetDecDeg = value;
}

// ---- Site and time ----

double SimulatedMount::SiteLatitude() {
    RequireConnected();
    return s_->latitudeDeg;
}

double SimulatedMount::SiteLongitude() {
    RequireConnected();
    return s_->longitudeDeg;
}

double SimulatedMount::SiteElevation() {
    RequireConnected();
    return s_->elevationM;
}

void SimulatedMount::SetSiteLatitude(double value) {
    RequireConnected();
    CheckRange(source(), "SiteLatitude", value, -90.0, 90.0, "degrees");
    s_->latitudeDeg = value;
}

void SimulatedMount::SetSiteLongitude(double value) {
    RequireConnected();
    CheckRange(source(), "SiteLongitude", value, -180.0, 180.0, "degrees");
    s_->longitudeDeg = value;
}

void SimulatedMount::SetSiteElevation(double value) {
    RequireConnected();
    CheckRange(source(), "SiteElevation", value, -300.0, 10000.0, "metres");
    s_->elevationM = value;
}

double SimulatedMount::SiderealTime() {
    RequireConnected();
    return RadToHours24(s_->SiderealAt(s_->Now()));
}

QDateTime SimulatedMount::UTCDate() {
    RequireConnected();
    return UtcFromUnixSeconds(s_->UnixSecondsAt(s_->Now()));
}

void SimulatedMount::SetUTCDate(const QDateTime& value) {
    RequireConnected();
    if (!value.isValid())
        ascom_error::InvalidValue(source(), QStringLiteral("UTCDate is not a valid date."));
    // The clock moves, the axes do not: only the sidereal time jumps.
    const double wanted = static_cast<double>(value.toMSecsSinceEpoch()) / 1000.0;
    s_->utcOffsetSeconds += wanted - s_->UnixSecondsAt(s_->Now());
}

// ---- Rates ----

bool SimulatedMount::Tracking() {
    RequireConnected();
    return s_->tracking;
}

DriveRates SimulatedMount::TrackingRate() {
    RequireConnected();
    return s_->trackingRate;
}

void SimulatedMount::SetTrackingRate(DriveRates value) {
    RequireConnected();
    const int v = static_cast<int>(value);
    if (v < 0 || v > 3)
        ascom_error::InvalidValue(
            source(), QStringLiteral("TrackingRate %1 is not one of TrackingRates.").arg(v));
    s_->trackingRate = value;
    s_->UpdateRates(s_->Now());
}

double SimulatedMount::RightAscensionRate() {
    RequireConnected();
    return s_->raRateSecPerSiderealSec;
}

double SimulatedMount::DeclinationRate() {
    RequireConnected();
    return s_->decRateArcsecPerSec;
}

void SimulatedMount::SetRightAscensionRate(double value) {
    Require(s_->options.can.canSetRightAscensionRate, "RightAscensionRate");
    RequireConnected();
    CheckRange(source(), "RightAscensionRate", value, -3600.0, 3600.0,
               "seconds per sidereal second");
    s_->raRateSecPerSiderealSec = value;
    s_->UpdateRates(s_->Now());
}

void SimulatedMount::SetDeclinationRate(double value) {
    Require(s_->options.can.canSetDeclinationRate, "DeclinationRate");
    RequireConnected();
    CheckRange(source(), "DeclinationRate", value, -54000.0, 54000.0, "arc seconds per second");
    s_->decRateArcsecPerSec = value;
    s_->UpdateRates(s_->Now());
}

double SimulatedMount::GuideRateRightAscension() {
    RequireConnected();
    return s_->guideRateRaDegPerSec;
}

double SimulatedMount::GuideRateDeclination() {
    RequireConnected();
    return s_->guideRateDecDegPerSec;
}

void SimulatedMount::SetGuideRateRightAscension(double value) {
    Require(s_->options.can.canSetGuideRates, "GuideRateRightAscension");
    RequireConnected();
    CheckRange(source(), "GuideRateRightAscension", value, 0.0, s_->options.slewRateDegPerSec,
               "degrees per second");
    s_->guideRateRaDegPerSec = value;
}

void SimulatedMount::SetGuideRateDeclination(double value) {
    Require(s_->options.can.canSetGuideRates, "GuideRateDeclination");
    RequireConnected();
    CheckRange(source(), "GuideRateDeclination", value, 0.0, s_->options.slewRateDegPerSec,
               "degrees per second");
    s_->guideRateDecDegPerSec = value;
}

int SimulatedMount::SlewSettleTime() {
    RequireConnected();
    return s_->slewSettleTimeSec;
}

void SimulatedMount::SetSlewSettleTime(int value) {
    RequireConnected();
    CheckRange(source(), "SlewSettleTime", value, 0.0, 3600.0, "seconds");
    s_->slewSettleTimeSec = value;
}

}  // namespace celaris
