#include "celaris/hub/telescope.h"

#include <cmath>

#include "celaris/ascom/altaz.h"
#include "celaris/dispatch/errors.h"
#include "celaris/dispatch/motion_starter.h"

namespace celaris::hub {

using dispatch::ComError;

namespace {
const QString kSource = QString::fromLatin1(dispatch::kHubSource);

// Every public member: any failure reaches the client as a ComError with its
// own five items, and a box raised meanwhile waits until the call is over.
template <typename Fn>
decltype(auto) Guard(Hub& hub, Fn&& fn) {
    dispatch::Ui::ClientCall call(hub.ui());
    return dispatch::PassThrough(kSource, std::forward<Fn>(fn));
}
}  // namespace

Telescope::Telescope(Hub& hub) : hub_(hub) {
    dispatch::Ui::ClientCall call(hub_.ui());
    try {
        hub_.profile().RegisterHub();
    } catch (...) {
        // Creation never fails for the profile's sake.
    }
    hub_.state().TargetRA = 0.0;
    hub_.state().TargetDec = 0.0;
    try {
        hub_.RequestStatusUpdate();
    } catch (...) {
    }
}

Telescope::~Telescope() {
    dispatch::Ui::ClientCall call(hub_.ui());
    if (clientConnected_) {
        try {
            SetConnected(false);
        } catch (...) {
        }
        // Also covers a disconnection that failed part-way.
        if (hub_.state().ConnectionCount < 1) hub_.state().ScopeDriver.reset();
    }
    try {
        hub_.RequestStatusUpdate();
    } catch (...) {
    }
}

// ---- Connection ----------------------------------------------------------

bool Telescope::Connected() {
    return Guard(hub_, [&] {
        hub_.CheckDriverConnection();
        const bool connected = hub_.state().DriverConnected && !hub_.state().DriverLost;
        try {
            hub_.RequestStatusUpdate();
        } catch (...) {
        }
        return connected;
    });
}

void Telescope::SetConnected(bool value) {
    Guard(hub_, [&] {
        HubState& s = hub_.state();
        if (value) {
            // A driver that lost its device is connected again, whoever
            // holds connections.
            if (s.DriverConnected && !hub_.CheckDriverConnection()) hub_.ReconnectDriver();
            // An object that already holds a connection holds only one.
            if (s.DriverConnected && clientConnected_) return;
            if (s.DriverConnected) {
                ++s.ConnectionCount;
                clientConnected_ = true;
                return;
            }
            const QString id = hub_.profile().ReadScope();
            if (id.isEmpty()) throw dispatch::ErrHubNoDriver();
            s.ScopeDriver = DriverFactory::Instance().Create(id);
            s.ScopeDriver->Put(QStringLiteral("Connected"), true);
            s.DriverConnected = true;
            clientConnected_ = true;
            ++s.ConnectionCount;
            // The first position a client reads is the mount's.
            hub_.PollPosition();
            hub_.CheckSite();
            s.TargetRA = RightAscension();
            s.TargetDec = Declination();
            // Probes: a probe that raises leaves its flag false.
            Driver& d = *s.ScopeDriver;
            s.CanSetPierSide = s.CanReadSideOfPier = s.CanDestinationSideOfPier = false;
            try {
                s.CanSetPierSide = ToBool(d.Get(QStringLiteral("CanSetPierSide")),
                                          QStringLiteral("CanSetPierSide"));
            } catch (...) {
            }
            try {
                d.Get(QStringLiteral("SideOfPier"));
                s.CanReadSideOfPier = true;
            } catch (...) {
            }
            try {
                d.Call(QStringLiteral("DestinationSideOfPier"), {12.0, 45.0});
                s.CanDestinationSideOfPier = true;
            } catch (...) {
            }
            return;
        }
        ReleaseConnection();
    });
}

void Telescope::ReleaseConnection() {
    HubState& s = hub_.state();
    if (!s.DriverConnected || !clientConnected_) return;
    --s.ConnectionCount;
    clientConnected_ = false;
    if (s.ConnectionCount >= 1) return;
    s.ConnectionCount = 0;
    // A driver that refuses keeps the hub connected; the client hears why.
    s.ScopeDriver->Put(QStringLiteral("Connected"), false);
    s.DriverConnected = false;
    s.DriverLost.reset();
    s.ScopeDriver.reset();
}

// ---- Forwarding ----------------------------------------------------------

QVariant Telescope::Get(const char* member) {
    return Guard(hub_, [&] { return hub_.ConnectedDriver().Get(QString::fromLatin1(member)); });
}

void Telescope::Put(const char* member, const QVariant& value) {
    Guard(hub_, [&] { hub_.ConnectedDriver().Put(QString::fromLatin1(member), value); });
}

QVariant Telescope::Call(const char* member, const QVariantList& args) {
    return Guard(hub_,
                 [&] { return hub_.ConnectedDriver().Call(QString::fromLatin1(member), args); });
}

bool Telescope::GetBool(const char* member) {
    return Guard(hub_, [&] { return ToBool(Get(member), QString::fromLatin1(member)); });
}
double Telescope::GetDouble(const char* member) {
    return Guard(hub_, [&] { return ToDouble(Get(member), QString::fromLatin1(member)); });
}
int Telescope::GetInt(const char* member) {
    return Guard(hub_, [&] { return ToInt(Get(member), QString::fromLatin1(member)); });
}

AlignmentModes Telescope::AlignmentMode() {
    return static_cast<AlignmentModes>(GetInt("AlignmentMode"));
}
double Telescope::ApertureArea() {
    return GetDouble("ApertureArea");
}
double Telescope::ApertureDiameter() {
    return GetDouble("ApertureDiameter");
}
bool Telescope::AtHome() {
    return GetBool("AtHome");
}
bool Telescope::AtPark() {
    return GetBool("AtPark");
}
bool Telescope::CanFindHome() {
    return GetBool("CanFindHome");
}
bool Telescope::CanPark() {
    return GetBool("CanPark");
}
bool Telescope::CanPulseGuide() {
    return GetBool("CanPulseGuide");
}
bool Telescope::CanSetDeclinationRate() {
    return GetBool("CanSetDeclinationRate");
}
bool Telescope::CanSetGuideRates() {
    return GetBool("CanSetGuideRates");
}
bool Telescope::CanSetPark() {
    return GetBool("CanSetPark");
}
bool Telescope::CanSetPierSide() {
    return GetBool("CanSetPierSide");
}
bool Telescope::CanSetRightAscensionRate() {
    return GetBool("CanSetRightAscensionRate");
}
bool Telescope::CanSetTracking() {
    return GetBool("CanSetTracking");
}
bool Telescope::CanSlew() {
    return GetBool("CanSlew");
}
bool Telescope::CanSlewAltAz() {
    return GetBool("CanSlewAltAz");
}
bool Telescope::CanSlewAltAzAsync() {
    return GetBool("CanSlewAltAzAsync");
}
bool Telescope::CanSlewAsync() {
    return GetBool("CanSlewAsync");
}
bool Telescope::CanSync() {
    return GetBool("CanSync");
}
bool Telescope::CanSyncAltAz() {
    return GetBool("CanSyncAltAz");
}
bool Telescope::CanUnpark() {
    return GetBool("CanUnpark");
}
double Telescope::DeclinationRate() {
    return GetDouble("DeclinationRate");
}
void Telescope::SetDeclinationRate(double v) {
    Put("DeclinationRate", v);
}
QString Telescope::Description() {
    return Guard(hub_, [&] { return ToText(Get("Description"), QStringLiteral("Description")); });
}
bool Telescope::DoesRefraction() {
    return GetBool("DoesRefraction");
}
void Telescope::SetDoesRefraction(bool v) {
    Put("DoesRefraction", v);
}
EquatorialCoordinateType Telescope::EquatorialSystem() {
    return static_cast<EquatorialCoordinateType>(GetInt("EquatorialSystem"));
}
double Telescope::FocalLength() {
    return GetDouble("FocalLength");
}
double Telescope::GuideRateDeclination() {
    return GetDouble("GuideRateDeclination");
}
void Telescope::SetGuideRateDeclination(double v) {
    Put("GuideRateDeclination", v);
}
double Telescope::GuideRateRightAscension() {
    return GetDouble("GuideRateRightAscension");
}
void Telescope::SetGuideRateRightAscension(double v) {
    Put("GuideRateRightAscension", v);
}
bool Telescope::IsPulseGuiding() {
    return GetBool("IsPulseGuiding");
}
double Telescope::RightAscensionRate() {
    return GetDouble("RightAscensionRate");
}
void Telescope::SetRightAscensionRate(double v) {
    Put("RightAscensionRate", v);
}
double Telescope::SiderealTime() {
    return GetDouble("SiderealTime");
}
double Telescope::SiteElevation() {
    return GetDouble("SiteElevation");
}
void Telescope::SetSiteElevation(double v) {
    Put("SiteElevation", v);
}
double Telescope::SiteLatitude() {
    return GetDouble("SiteLatitude");
}
void Telescope::SetSiteLatitude(double v) {
    Put("SiteLatitude", v);
}
double Telescope::SiteLongitude() {
    return GetDouble("SiteLongitude");
}
void Telescope::SetSiteLongitude(double v) {
    Put("SiteLongitude", v);
}
int Telescope::SlewSettleTime() {
    return GetInt("SlewSettleTime");
}
void Telescope::SetSlewSettleTime(int v) {
    Put("SlewSettleTime", v);
}
bool Telescope::Tracking() {
    return GetBool("Tracking");
}
void Telescope::SetTracking(bool v) {
    Put("Tracking", v);
}
DriveRates Telescope::TrackingRate() {
    return static_cast<DriveRates>(GetInt("TrackingRate"));
}
void Telescope::SetTrackingRate(DriveRates v) {
    Put("TrackingRate", static_cast<int>(v));
}
QVariant Telescope::TrackingRates() {
    return Get("TrackingRates");
}
QDateTime Telescope::UTCDate() {
    return Guard(hub_, [&] { return ToDateTime(Get("UTCDate"), QStringLiteral("UTCDate")); });
}
void Telescope::SetUTCDate(const QDateTime& v) {
    Put("UTCDate", v);
}

QVariant Telescope::AxisRates(TelescopeAxes axis) {
    return Call("AxisRates", {static_cast<int>(axis)});
}
bool Telescope::CanMoveAxis(TelescopeAxes axis) {
    return Guard(hub_, [&] {
        return ToBool(Call("CanMoveAxis", {static_cast<int>(axis)}), QStringLiteral("CanMoveAxis"));
    });
}
void Telescope::CommandBlind(const QString& command, bool raw) {
    Call("CommandBlind", {command, raw});
}
bool Telescope::CommandBool(const QString& command, bool raw) {
    return Guard(hub_, [&] {
        return ToBool(Call("CommandBool", {command, raw}), QStringLiteral("CommandBool"));
    });
}
QString Telescope::CommandString(const QString& command, bool raw) {
    return Guard(hub_, [&] {
        return ToText(Call("CommandString", {command, raw}), QStringLiteral("CommandString"));
    });
}
PierSide Telescope::DestinationSideOfPier(double raHours, double decDeg) {
    return Guard(hub_, [&] {
        return static_cast<PierSide>(ToInt(Call("DestinationSideOfPier", {raHours, decDeg}),
                                           QStringLiteral("DestinationSideOfPier")));
    });
}
void Telescope::FindHome() {
    Call("FindHome");
    hub_.PollPosition();
}
void Telescope::MoveAxis(TelescopeAxes axis, double rate) {
    Call("MoveAxis", {static_cast<int>(axis), rate});
    hub_.PollPosition();
}
void Telescope::Park() {
    Call("Park");
    hub_.PollPosition();
}
void Telescope::PulseGuide(GuideDirections direction, int durationMs) {
    Call("PulseGuide", {static_cast<int>(direction), durationMs});
    hub_.PollPosition();
}
void Telescope::SetPark() {
    Call("SetPark");
}
void Telescope::Unpark() {
    Call("Unpark");
    hub_.PollPosition();
}
// The driver's own setup dialog is reached from the setup window.
void Telescope::SetupDialog() {}

// ---- The hub's own values --------------------------------------------------

QString Telescope::Name() {
    return Guard(hub_, [&] { return QStringLiteral("Celaris-") + ToText(Get("Name"), "Name"); });
}
QString Telescope::DriverInfo() {
    return QString::fromLatin1(kDriverInfo);
}
QString Telescope::DriverVersion() {
    return QString::fromLatin1(kDriverVersion);
}
int Telescope::InterfaceVersion() {
    return Guard(hub_, [&] {
        if (!hub_.state().DriverConnected) return 2;
        return GetInt("InterfaceVersion");
    });
}

// ---- Corrected positions -------------------------------------------------

RaDec Telescope::CorrectedPosition() {
    hub_.ConnectedDriver();
    // An engine failure is shown on the program's own screen; the client
    // reads 0.
    try {
        hub_.UpdateSiderealTime();
        hub_.CorrectedRAFromScope();
        return {hub_.state().CorrectedRA, hub_.state().CorrectedDec};
    } catch (const ComError& e) {
        hub_.ui().ShowError(e);
        return {0.0, 0.0};
    }
}

double Telescope::RightAscension() {
    return Guard(hub_, [&] { return CorrectedPosition().ra; });
}
double Telescope::Declination() {
    return Guard(hub_, [&] { return CorrectedPosition().dec; });
}

namespace {
// The driver counts azimuth from north through east, the engine from south
// through west: turn by half a circle on the way in and back on the way out,
// so the model is evaluated where the telescope points. With corrections off
// the engine returns its input and so does this.
struct Horizon {
    double altDeg;
    double azDeg;
};
Horizon CorrectAltAz(Hub& hub, double azDeg, double altDeg) {
    const double pi = 3.141592653589793;
    const double azIn = azDeg * kDegreesToRadians - pi;
    double azOut = 0, altOut = 0;
    hub.engine().GetCorrectedAltAz(azIn, altDeg * kDegreesToRadians, azOut, altOut);
    double az = azDeg;
    if (azOut != azIn) {
        az = azDeg + std::remainder(azOut - azIn, 2 * pi) * kRadiansToDegrees;
        if (az < 0.0) az += 360.0;
        if (az >= 360.0) az -= 360.0;
    }
    return {altOut * kRadiansToDegrees, az};
}
}  // namespace

double Telescope::Altitude() {
    return Guard(hub_, [&] {
        const double alt = GetDouble("Altitude");
        const double az = GetDouble("Azimuth");
        return CorrectAltAz(hub_, az, alt).altDeg;
    });
}

double Telescope::Azimuth() {
    return Guard(hub_, [&] {
        const double alt = GetDouble("Altitude");
        const double az = GetDouble("Azimuth");
        return CorrectAltAz(hub_, az, alt).azDeg;
    });
}

// ---- Targets ---------------------------------------------------------------

double Telescope::TargetRightAscension() {
    return Guard(hub_, [&] {
        const double ra = GetDouble("TargetRightAscension");
        const double dec = GetDouble("TargetDeclination");
        hub_.UpdateSiderealTime();
        return hub_.ScopeToTrueRADec(ra, dec).ra;
    });
}

double Telescope::TargetDeclination() {
    return Guard(hub_, [&] {
        // Its own first: the driver's not-set error then names this member.
        const double dec = GetDouble("TargetDeclination");
        const double ra = GetDouble("TargetRightAscension");
        hub_.UpdateSiderealTime();
        return hub_.ScopeToTrueRADec(ra, dec).dec;
    });
}

void Telescope::WriteScopeTarget(bool raFirst) {
    Driver& d = hub_.ConnectedDriver();
    HubState& s = hub_.state();
    hub_.UpdateSiderealTime();
    hub_.ApplyPierSide(s.TargetRA, s.TargetDec);
    const RaDec scope = hub_.TrueToScopeRADec(s.TargetRA, s.TargetDec);
    if (raFirst) {
        d.Put(QStringLiteral("TargetRightAscension"), scope.ra);
        d.Put(QStringLiteral("TargetDeclination"), scope.dec);
    } else {
        d.Put(QStringLiteral("TargetDeclination"), scope.dec);
        d.Put(QStringLiteral("TargetRightAscension"), scope.ra);
    }
}

void Telescope::SetTargetRightAscension(double raHours) {
    Guard(hub_, [&] {
        hub_.ConnectedDriver();
        hub_.state().TargetRA = raHours;
        WriteScopeTarget(false);
    });
}

void Telescope::SetTargetDeclination(double decDeg) {
    Guard(hub_, [&] {
        hub_.ConnectedDriver();
        hub_.state().TargetDec = decDeg;
        WriteScopeTarget(true);
    });
}

// ---- Slews -----------------------------------------------------------------

bool Telescope::UseAsync(SlewCall how, const char* canAsync) {
    if (how != SlewCall::Best) return how == SlewCall::Async;
    try {
        return ToBool(hub_.ConnectedDriver().Get(QString::fromLatin1(canAsync)),
                      QString::fromLatin1(canAsync));
    } catch (...) {
        return false;  // a driver that cannot say has the synchronous slew only
    }
}

void Telescope::CorrectedSlew(double raHours, double decDeg, SlewCall how) {
    Driver& d = hub_.ConnectedDriver();
    HubState& s = hub_.state();
    hub_.UpdateSiderealTime();
    s.TargetRA = raHours;
    s.TargetDec = decDeg;
    hub_.ApplyPierSide(s.TargetRA, s.TargetDec);
    const RaDec scope = hub_.TrueToScopeRADec(raHours, decDeg);
    hub_.CheckSlewLimits(scope.ra * kHoursToRadians, scope.dec * kDegreesToRadians);
    const bool async = UseAsync(how, "CanSlewAsync");
    const RaDec a = hub_.AntiBacklashApproach(scope.ra, scope.dec);
    d.Put(QStringLiteral("TargetRightAscension"), a.ra);
    d.Put(QStringLiteral("TargetDeclination"), a.dec);
    s.SettleCount = 1;
    d.Call(async ? QStringLiteral("SlewToTargetAsync") : QStringLiteral("SlewToTarget"));
    s.ObservationTaken = false;
    hub_.PollPosition();
}

void Telescope::SlewToCoordinates(double raHours, double decDeg) {
    Guard(hub_, [&] { CorrectedSlew(raHours, decDeg, SlewCall::Sync); });
}

void Telescope::SlewToCoordinatesAsync(double raHours, double decDeg) {
    Guard(hub_, [&] { CorrectedSlew(raHours, decDeg, SlewCall::Async); });
}

void Telescope::TargetSlew(SlewCall how) {
    Driver& d = hub_.ConnectedDriver();
    HubState& s = hub_.state();
    hub_.UpdateSiderealTime();
    // The driver's target is in the scope frame already.
    const double ra = ToDouble(d.Get(QStringLiteral("TargetRightAscension")),
                               QStringLiteral("TargetRightAscension"));
    const double dec =
        ToDouble(d.Get(QStringLiteral("TargetDeclination")), QStringLiteral("TargetDeclination"));
    // Check the approach point before anything is remembered.
    const RaDec check = hub_.ApproachPoint(ra, dec);
    hub_.CheckSlewLimits(check.ra * kHoursToRadians, check.dec * kDegreesToRadians);
    const bool async = UseAsync(how, "CanSlewAsync");
    const RaDec a = hub_.AntiBacklashApproach(ra, dec);
    d.Put(QStringLiteral("TargetRightAscension"), a.ra);
    d.Put(QStringLiteral("TargetDeclination"), a.dec);
    s.SettleCount = 1;
    d.Call(async ? QStringLiteral("SlewToTargetAsync") : QStringLiteral("SlewToTarget"));
    s.ObservationTaken = false;
    hub_.PollPosition();
}

void Telescope::SlewToTarget() {
    Guard(hub_, [&] { TargetSlew(SlewCall::Sync); });
}

void Telescope::SlewToTargetAsync() {
    Guard(hub_, [&] { TargetSlew(SlewCall::Async); });
}

void Telescope::AltAzSlew(double azDeg, double altDeg, SlewCall how) {
    Driver& d = hub_.ConnectedDriver();
    HubState& s = hub_.state();
    hub_.UpdateSiderealTime();
    const double lat = hub_.settings().Latitude * kDegreesToRadians;
    const double lst = hub_.SiderealAngle();
    const auto eq = ascom::aa_hadec(lat, altDeg * kDegreesToRadians, azDeg * kDegreesToRadians);
    const double ra = NormaliseRadians(lst - eq.haRad);
    s.TargetRA = ra * kRadiansToHours;
    s.TargetDec = eq.decRad * kRadiansToDegrees;
    hub_.ApplyPierSide(s.TargetRA, s.TargetDec);
    const HADec scope = hub_.engine().GetScopeHADec(eq.haRad, eq.decRad);
    const double raS = NormaliseRadians(lst - scope.ha);
    hub_.CheckSlewLimits(raS, scope.dec);
    const bool async = UseAsync(how, "CanSlewAltAzAsync");
    const RaDec a = hub_.AntiBacklashApproach(raS * kRadiansToHours, scope.dec * kRadiansToDegrees);
    const auto h = ascom::hadec_aa(lat, lst - a.ra * kHoursToRadians, a.dec * kDegreesToRadians);
    s.SettleCount = 1;
    d.Call(async ? QStringLiteral("SlewToAltAzAsync") : QStringLiteral("SlewToAltAz"),
           {h.azRad * kRadiansToDegrees, h.altRad * kRadiansToDegrees});
    s.ObservationTaken = false;
    hub_.PollPosition();
}

void Telescope::SlewToAltAz(double azDeg, double altDeg) {
    Guard(hub_, [&] { AltAzSlew(azDeg, altDeg, SlewCall::Sync); });
}

void Telescope::SlewToAltAzAsync(double azDeg, double altDeg) {
    Guard(hub_, [&] { AltAzSlew(azDeg, altDeg, SlewCall::Async); });
}

// ---- Synchronous motions waited for off the hub's thread ------------------

MotionTicket Telescope::Ticket(MotionTicket::Kind kind, const char* member) const {
    return {kind, QString::fromLatin1(member), hub_.Aborts()};
}

MotionTicket Telescope::BeginSlewToCoordinates(double raHours, double decDeg) {
    return Guard(hub_, [&] {
        const MotionTicket t = Ticket(MotionTicket::Kind::Slew, "SlewToCoordinates");
        CorrectedSlew(raHours, decDeg, SlewCall::Best);
        return t;
    });
}

MotionTicket Telescope::BeginSlewToTarget() {
    return Guard(hub_, [&] {
        const MotionTicket t = Ticket(MotionTicket::Kind::Slew, "SlewToTarget");
        TargetSlew(SlewCall::Best);
        return t;
    });
}

MotionTicket Telescope::BeginSlewToAltAz(double azDeg, double altDeg) {
    return Guard(hub_, [&] {
        const MotionTicket t = Ticket(MotionTicket::Kind::Slew, "SlewToAltAz");
        AltAzSlew(azDeg, altDeg, SlewCall::Best);
        return t;
    });
}

MotionTicket Telescope::BeginPark() {
    return Guard(hub_, [&] {
        const MotionTicket t = Ticket(MotionTicket::Kind::Park, "Park");
        Driver& d = hub_.ConnectedDriver();
        if (auto* starter = dynamic_cast<MotionStarter*>(&d))
            starter->StartPark();
        else
            d.Call(QStringLiteral("Park"));
        hub_.PollPosition();
        return t;
    });
}

MotionTicket Telescope::BeginFindHome() {
    return Guard(hub_, [&] {
        const MotionTicket t = Ticket(MotionTicket::Kind::FindHome, "FindHome");
        Driver& d = hub_.ConnectedDriver();
        if (auto* starter = dynamic_cast<MotionStarter*>(&d))
            starter->StartFindHome();
        else
            d.Call(QStringLiteral("FindHome"));
        hub_.PollPosition();
        return t;
    });
}

bool Telescope::MotionSettled(const MotionTicket& ticket) {
    return Guard(hub_, [&] {
        hub_.ConnectedDriver();
        if (hub_.Aborts() != ticket.aborts) throw dispatch::ErrMotionAborted(ticket.member);
        switch (ticket.kind) {
            case MotionTicket::Kind::Slew:
                // The completion step the status loop runs, at the
                // caller's pace: settling, then the final leg.
                hub_.SlewCompletionStep();
                if (Slewing()) return false;
                break;
            case MotionTicket::Kind::Park:
                if (hub_.DriverSlewing()) return false;
                if (!AtPark()) throw dispatch::ErrMotionStopped(ticket.member);
                break;
            case MotionTicket::Kind::FindHome:
                if (hub_.DriverSlewing()) return false;
                if (!AtHome()) throw dispatch::ErrMotionStopped(ticket.member);
                break;
        }
        hub_.PollPosition();
        return true;
    });
}

// ---- Syncs: none touches the model, the observations or the pier side. -----

void Telescope::SyncToCoordinates(double raHours, double decDeg) {
    Guard(hub_, [&] {
        Driver& d = hub_.ConnectedDriver();
        HubState& s = hub_.state();
        hub_.UpdateSiderealTime();
        s.TargetRA = raHours;
        s.TargetDec = decDeg;
        const RaDec scope = hub_.TrueToScopeRADec(raHours, decDeg);
        d.Call(QStringLiteral("SyncToCoordinates"), {scope.ra, scope.dec});
        s.ObservationTaken = false;
        hub_.PollPosition();
    });
}

void Telescope::SyncToTarget() {
    Guard(hub_, [&] {
        hub_.ConnectedDriver().Call(QStringLiteral("SyncToTarget"));
        hub_.state().ObservationTaken = false;
        hub_.PollPosition();
    });
}

void Telescope::SyncToAltAz(double azDeg, double altDeg) {
    Guard(hub_, [&] {
        Driver& d = hub_.ConnectedDriver();
        const double lat = hub_.settings().Latitude * kDegreesToRadians;
        const auto eq = ascom::aa_hadec(lat, altDeg * kDegreesToRadians, azDeg * kDegreesToRadians);
        const HADec scope = hub_.engine().GetScopeHADec(eq.haRad, eq.decRad);
        const auto h = ascom::hadec_aa(lat, scope.ha, scope.dec);
        d.Call(QStringLiteral("SyncToAltAz"),
               {h.azRad * kRadiansToDegrees, h.altRad * kRadiansToDegrees});
        hub_.state().ObservationTaken = false;
        hub_.PollPosition();
    });
}

// ---- Slew state ------------------------------------------------------------

bool Telescope::Slewing() {
    return Guard(hub_, [&] {
        const HubState& s = hub_.state();
        const bool driverSlewing = GetBool("Slewing");
        return driverSlewing || s.SettleCount > 0 ||
               (hub_.settings().AntiBacklash && !s.SecondLegDone);
    });
}

void Telescope::AbortSlew() {
    Guard(hub_, [&] {
        hub_.ConnectedDriver();
        hub_.state().SettleCount = 0;
        hub_.state().SecondLegDone = true;
        // Ends any client's synchronous motion, whatever the driver says.
        hub_.CountAbort();
        Call("AbortSlew");
        hub_.PollPosition();
    });
}

PierSide Telescope::SideOfPier() {
    return Guard(hub_, [&] {
        hub_.ConnectedDriver();
        if (!hub_.state().CanReadSideOfPier)
            throw dispatch::ErrHubNotImplemented(QStringLiteral("SideOfPier"));
        return static_cast<PierSide>(GetInt("SideOfPier"));
    });
}

void Telescope::SetSideOfPier(PierSide value) {
    Guard(hub_, [&] {
        hub_.ConnectedDriver();
        if (!hub_.state().CanSetPierSide)
            throw dispatch::ErrHubNotImplemented(QStringLiteral("Set SideOfPier"));
        Put("SideOfPier", static_cast<int>(value));
        hub_.PollPosition();
    });
}

}  // namespace celaris::hub
