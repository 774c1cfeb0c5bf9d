#include "celaris/drivers/telescope_base.h"

#include <QHash>
#include <functional>

#include "celaris/dispatch/ascom_errors.h"
#include "celaris/dispatch/com_error.h"

namespace celaris {

void TelescopeBase::NotImplemented(const QString& member) const {
    ascom_error::NotImplemented(source_, member);
}

// Defaults: the member is not implemented by this driver.
#define CELARIS_DEFAULT(Type, Name, Params, Member) \
    Type TelescopeBase::Name Params {               \
        NotImplemented(QStringLiteral(Member));     \
    }

CELARIS_DEFAULT(AlignmentModes, AlignmentMode, (), "AlignmentMode")
CELARIS_DEFAULT(double, Altitude, (), "Altitude")
CELARIS_DEFAULT(double, ApertureArea, (), "ApertureArea")
CELARIS_DEFAULT(double, ApertureDiameter, (), "ApertureDiameter")
CELARIS_DEFAULT(bool, AtHome, (), "AtHome")
CELARIS_DEFAULT(bool, AtPark, (), "AtPark")
CELARIS_DEFAULT(double, Azimuth, (), "Azimuth")
CELARIS_DEFAULT(bool, Connected, (), "Connected")
CELARIS_DEFAULT(double, Declination, (), "Declination")
CELARIS_DEFAULT(double, DeclinationRate, (), "DeclinationRate")
CELARIS_DEFAULT(QString, Description, (), "Description")
CELARIS_DEFAULT(bool, DoesRefraction, (), "DoesRefraction")
CELARIS_DEFAULT(QString, DriverInfo, (), "DriverInfo")
CELARIS_DEFAULT(QString, DriverVersion, (), "DriverVersion")
CELARIS_DEFAULT(EquatorialCoordinateType, EquatorialSystem, (), "EquatorialSystem")
CELARIS_DEFAULT(double, FocalLength, (), "FocalLength")
CELARIS_DEFAULT(double, GuideRateDeclination, (), "GuideRateDeclination")
CELARIS_DEFAULT(double, GuideRateRightAscension, (), "GuideRateRightAscension")
CELARIS_DEFAULT(bool, IsPulseGuiding, (), "IsPulseGuiding")
CELARIS_DEFAULT(QString, Name, (), "Name")
CELARIS_DEFAULT(double, RightAscension, (), "RightAscension")
CELARIS_DEFAULT(double, RightAscensionRate, (), "RightAscensionRate")
CELARIS_DEFAULT(PierSide, SideOfPier, (), "SideOfPier")
CELARIS_DEFAULT(double, SiderealTime, (), "SiderealTime")
CELARIS_DEFAULT(double, SiteElevation, (), "SiteElevation")
CELARIS_DEFAULT(double, SiteLatitude, (), "SiteLatitude")
CELARIS_DEFAULT(double, SiteLongitude, (), "SiteLongitude")
CELARIS_DEFAULT(bool, Slewing, (), "Slewing")
CELARIS_DEFAULT(int, SlewSettleTime, (), "SlewSettleTime")
CELARIS_DEFAULT(double, TargetDeclination, (), "TargetDeclination")
CELARIS_DEFAULT(double, TargetRightAscension, (), "TargetRightAscension")
CELARIS_DEFAULT(bool, Tracking, (), "Tracking")
CELARIS_DEFAULT(DriveRates, TrackingRate, (), "TrackingRate")
CELARIS_DEFAULT(TrackingRates, TrackingRatesList, (), "TrackingRates")
CELARIS_DEFAULT(QDateTime, UTCDate, (), "UTCDate")
CELARIS_DEFAULT(void, SetConnected, (bool), "Connected")
CELARIS_DEFAULT(void, SetDeclinationRate, (double), "DeclinationRate")
CELARIS_DEFAULT(void, SetDoesRefraction, (bool), "DoesRefraction")
CELARIS_DEFAULT(void, SetGuideRateDeclination, (double), "GuideRateDeclination")
CELARIS_DEFAULT(void, SetGuideRateRightAscension, (double), "GuideRateRightAscension")
CELARIS_DEFAULT(void, SetRightAscensionRate, (double), "RightAscensionRate")
CELARIS_DEFAULT(void, SetSideOfPier, (PierSide), "SideOfPier")
CELARIS_DEFAULT(void, SetSiteElevation, (double), "SiteElevation")
CELARIS_DEFAULT(void, SetSiteLatitude, (double), "SiteLatitude")
CELARIS_DEFAULT(void, SetSiteLongitude, (double), "SiteLongitude")
CELARIS_DEFAULT(void, SetSlewSettleTime, (int), "SlewSettleTime")
CELARIS_DEFAULT(void, SetTargetDeclination, (double), "TargetDeclination")
CELARIS_DEFAULT(void, SetTargetRightAscension, (double), "TargetRightAscension")
CELARIS_DEFAULT(void, SetTracking, (bool), "Tracking")
CELARIS_DEFAULT(void, SetTrackingRate, (DriveRates), "TrackingRate")
CELARIS_DEFAULT(void, SetUTCDate, (const QDateTime&), "UTCDate")
CELARIS_DEFAULT(void, AbortSlew, (), "AbortSlew")
CELARIS_DEFAULT(AxisRates, AxisRatesFor, (TelescopeAxes), "AxisRates")
CELARIS_DEFAULT(bool, CanMoveAxis, (TelescopeAxes), "CanMoveAxis")
CELARIS_DEFAULT(void, CommandBlind, (const QString&, bool), "CommandBlind")
CELARIS_DEFAULT(bool, CommandBool, (const QString&, bool), "CommandBool")
CELARIS_DEFAULT(QString, CommandString, (const QString&, bool), "CommandString")
CELARIS_DEFAULT(PierSide, DestinationSideOfPier, (double, double), "DestinationSideOfPier")
CELARIS_DEFAULT(void, FindHome, (), "FindHome")
CELARIS_DEFAULT(void, MoveAxis, (TelescopeAxes, double), "MoveAxis")
CELARIS_DEFAULT(void, Park, (), "Park")
CELARIS_DEFAULT(void, PulseGuide, (GuideDirections, int), "PulseGuide")
CELARIS_DEFAULT(void, SetPark, (), "SetPark")
CELARIS_DEFAULT(void, SlewToAltAz, (double, double), "SlewToAltAz")
CELARIS_DEFAULT(void, SlewToAltAzAsync, (double, double), "SlewToAltAzAsync")
CELARIS_DEFAULT(void, SlewToCoordinates, (double, double), "SlewToCoordinates")
CELARIS_DEFAULT(void, SlewToCoordinatesAsync, (double, double), "SlewToCoordinatesAsync")
CELARIS_DEFAULT(void, SlewToTarget, (), "SlewToTarget")
CELARIS_DEFAULT(void, SlewToTargetAsync, (), "SlewToTargetAsync")
CELARIS_DEFAULT(void, SyncToAltAz, (double, double), "SyncToAltAz")
CELARIS_DEFAULT(void, SyncToCoordinates, (double, double), "SyncToCoordinates")
CELARIS_DEFAULT(void, SyncToTarget, (), "SyncToTarget")
CELARIS_DEFAULT(void, Unpark, (), "Unpark")
#undef CELARIS_DEFAULT

// Capabilities a driver does not state are absent, as ASCOM expects.
bool TelescopeBase::CanFindHome() {
    return false;
}
bool TelescopeBase::CanPark() {
    return false;
}
bool TelescopeBase::CanPulseGuide() {
    return false;
}
bool TelescopeBase::CanSetDeclinationRate() {
    return false;
}
bool TelescopeBase::CanSetGuideRates() {
    return false;
}
bool TelescopeBase::CanSetPark() {
    return false;
}
bool TelescopeBase::CanSetPierSide() {
    return false;
}
bool TelescopeBase::CanSetRightAscensionRate() {
    return false;
}
bool TelescopeBase::CanSetTracking() {
    return false;
}
bool TelescopeBase::CanSlew() {
    return false;
}
bool TelescopeBase::CanSlewAltAz() {
    return false;
}
bool TelescopeBase::CanSlewAltAzAsync() {
    return false;
}
bool TelescopeBase::CanSlewAsync() {
    return false;
}
bool TelescopeBase::CanSync() {
    return false;
}
bool TelescopeBase::CanSyncAltAz() {
    return false;
}
bool TelescopeBase::CanUnpark() {
    return false;
}
int TelescopeBase::InterfaceVersion() {
    return 3;
}
QStringList TelescopeBase::SupportedActions() {
    return {};
}
QString TelescopeBase::Action(const QString& name, const QString&) {
    Raise(ascom_error::kActionNotImplemented, source_,
          QStringLiteral("The action \"%1\" is not implemented.").arg(name));
}
void TelescopeBase::SetupDialog() {}

namespace {

using Args = QVariantList;
using Handler = std::function<QVariant(TelescopeBase&, const Args&, const QString&)>;

struct Entry {
    Handler get;
    Handler put;
    Handler call;
    int minArgs = 0;
    int maxArgs = 0;
};

template <typename E>
QVariant Enum(E e) {
    return QVariant(static_cast<int>(e));
}

double D(const Args& a, int i, const QString& m) {
    return ToDouble(a[i], m);
}
bool B(const Args& a, int i, const QString& m) {
    return ToBool(a[i], m);
}
int I(const Args& a, int i, const QString& m) {
    return ToInt(a[i], m);
}
QString S(const Args& a, int i, const QString& m) {
    return a[i].canConvert<QString>() ? a[i].toString() : ToText(a[i], m);
}

const QHash<QString, Entry>& Table() {
    static const QHash<QString, Entry> table = [] {
        QHash<QString, Entry> t;
        auto get = [&](const char* name, Handler h) { t[QString(name).toLower()].get = h; };
        auto put = [&](const char* name, Handler h) { t[QString(name).toLower()].put = h; };
        auto call = [&](const char* name, int minArgs, int maxArgs, Handler h) {
            Entry& e = t[QString(name).toLower()];
            e.call = h;
            e.minArgs = minArgs;
            e.maxArgs = maxArgs;
        };
#define G(Name, expr) \
    get(#Name, [](TelescopeBase& d, const Args&, const QString&) { return QVariant(expr); })
#define P(Name, expr)                                                  \
    put(#Name, [](TelescopeBase& d, const Args& a, const QString& m) { \
        expr;                                                          \
        return QVariant();                                             \
    })
        G(AlignmentMode, Enum(d.AlignmentMode()));
        G(Altitude, d.Altitude());
        G(ApertureArea, d.ApertureArea());
        G(ApertureDiameter, d.ApertureDiameter());
        G(AtHome, d.AtHome());
        G(AtPark, d.AtPark());
        G(Azimuth, d.Azimuth());
        G(CanFindHome, d.CanFindHome());
        G(CanPark, d.CanPark());
        G(CanPulseGuide, d.CanPulseGuide());
        G(CanSetDeclinationRate, d.CanSetDeclinationRate());
        G(CanSetGuideRates, d.CanSetGuideRates());
        G(CanSetPark, d.CanSetPark());
        G(CanSetPierSide, d.CanSetPierSide());
        G(CanSetRightAscensionRate, d.CanSetRightAscensionRate());
        G(CanSetTracking, d.CanSetTracking());
        G(CanSlew, d.CanSlew());
        G(CanSlewAltAz, d.CanSlewAltAz());
        G(CanSlewAltAzAsync, d.CanSlewAltAzAsync());
        G(CanSlewAsync, d.CanSlewAsync());
        G(CanSync, d.CanSync());
        G(CanSyncAltAz, d.CanSyncAltAz());
        G(CanUnpark, d.CanUnpark());
        G(Connected, d.Connected());
        G(Declination, d.Declination());
        G(DeclinationRate, d.DeclinationRate());
        G(Description, d.Description());
        G(DoesRefraction, d.DoesRefraction());
        G(DriverInfo, d.DriverInfo());
        G(DriverVersion, d.DriverVersion());
        G(EquatorialSystem, Enum(d.EquatorialSystem()));
        G(FocalLength, d.FocalLength());
        G(GuideRateDeclination, d.GuideRateDeclination());
        G(GuideRateRightAscension, d.GuideRateRightAscension());
        G(InterfaceVersion, d.InterfaceVersion());
        G(IsPulseGuiding, d.IsPulseGuiding());
        G(Name, d.Name());
        G(RightAscension, d.RightAscension());
        G(RightAscensionRate, d.RightAscensionRate());
        G(SideOfPier, Enum(d.SideOfPier()));
        G(SiderealTime, d.SiderealTime());
        G(SiteElevation, d.SiteElevation());
        G(SiteLatitude, d.SiteLatitude());
        G(SiteLongitude, d.SiteLongitude());
        G(Slewing, d.Slewing());
        G(SlewSettleTime, d.SlewSettleTime());
        G(TargetDeclination, d.TargetDeclination());
        G(TargetRightAscension, d.TargetRightAscension());
        G(Tracking, d.Tracking());
        G(TrackingRate, Enum(d.TrackingRate()));
        G(TrackingRates, QVariant::fromValue(d.TrackingRatesList()));
        G(UTCDate, d.UTCDate());
        G(SupportedActions, d.SupportedActions());
        P(Connected, d.SetConnected(B(a, 0, m)));
        P(DeclinationRate, d.SetDeclinationRate(D(a, 0, m)));
        P(DoesRefraction, d.SetDoesRefraction(B(a, 0, m)));
        P(GuideRateDeclination, d.SetGuideRateDeclination(D(a, 0, m)));
        P(GuideRateRightAscension, d.SetGuideRateRightAscension(D(a, 0, m)));
        P(RightAscensionRate, d.SetRightAscensionRate(D(a, 0, m)));
        P(SideOfPier, d.SetSideOfPier(static_cast<PierSide>(I(a, 0, m))));
        P(SiteElevation, d.SetSiteElevation(D(a, 0, m)));
        P(SiteLatitude, d.SetSiteLatitude(D(a, 0, m)));
        P(SiteLongitude, d.SetSiteLongitude(D(a, 0, m)));
        P(SlewSettleTime, d.SetSlewSettleTime(I(a, 0, m)));
        P(TargetDeclination, d.SetTargetDeclination(D(a, 0, m)));
        P(TargetRightAscension, d.SetTargetRightAscension(D(a, 0, m)));
        P(Tracking, d.SetTracking(B(a, 0, m)));
        P(TrackingRate, d.SetTrackingRate(static_cast<DriveRates>(I(a, 0, m))));
        P(UTCDate, d.SetUTCDate(ToDateTime(a[0], m)));
#undef G
#undef P
#define C(Name, minA, maxA, body)                              \
    call(#Name, minA, maxA,                                    \
         [](TelescopeBase & d, [[maybe_unused]] const Args& a, \
            [[maybe_unused]] const QString& m) -> QVariant body)
        C(AbortSlew, 0, 0, {
            d.AbortSlew();
            return {};
        });
        C(Action, 2, 2, { return d.Action(S(a, 0, m), S(a, 1, m)); });
        C(AxisRates, 1, 1,
          { return QVariant::fromValue(d.AxisRatesFor(static_cast<TelescopeAxes>(I(a, 0, m)))); });
        C(CanMoveAxis, 1, 1, { return d.CanMoveAxis(static_cast<TelescopeAxes>(I(a, 0, m))); });
        // Raw is optional and defaults to false.
        C(CommandBlind, 1, 2, {
            d.CommandBlind(S(a, 0, m), a.size() > 1 && B(a, 1, m));
            return {};
        });
        C(CommandBool, 1, 2, { return d.CommandBool(S(a, 0, m), a.size() > 1 && B(a, 1, m)); });
        C(CommandString, 1, 2, { return d.CommandString(S(a, 0, m), a.size() > 1 && B(a, 1, m)); });
        C(DestinationSideOfPier, 2, 2,
          { return Enum(d.DestinationSideOfPier(D(a, 0, m), D(a, 1, m))); });
        C(FindHome, 0, 0, {
            d.FindHome();
            return {};
        });
        C(MoveAxis, 2, 2, {
            d.MoveAxis(static_cast<TelescopeAxes>(I(a, 0, m)), D(a, 1, m));
            return {};
        });
        C(Park, 0, 0, {
            d.Park();
            return {};
        });
        C(PulseGuide, 2, 2, {
            d.PulseGuide(static_cast<GuideDirections>(I(a, 0, m)), I(a, 1, m));
            return {};
        });
        C(SetPark, 0, 0, {
            d.SetPark();
            return {};
        });
        C(SetupDialog, 0, 0, {
            d.SetupDialog();
            return {};
        });
        C(SlewToAltAz, 2, 2, {
            d.SlewToAltAz(D(a, 0, m), D(a, 1, m));
            return {};
        });
        C(SlewToAltAzAsync, 2, 2, {
            d.SlewToAltAzAsync(D(a, 0, m), D(a, 1, m));
            return {};
        });
        C(SlewToCoordinates, 2, 2, {
            d.SlewToCoordinates(D(a, 0, m), D(a, 1, m));
            return {};
        });
        C(SlewToCoordinatesAsync, 2, 2, {
            d.SlewToCoordinatesAsync(D(a, 0, m), D(a, 1, m));
            return {};
        });
        C(SlewToTarget, 0, 0, {
            d.SlewToTarget();
            return {};
        });
        C(SlewToTargetAsync, 0, 0, {
            d.SlewToTargetAsync();
            return {};
        });
        C(SyncToAltAz, 2, 2, {
            d.SyncToAltAz(D(a, 0, m), D(a, 1, m));
            return {};
        });
        C(SyncToCoordinates, 2, 2, {
            d.SyncToCoordinates(D(a, 0, m), D(a, 1, m));
            return {};
        });
        C(SyncToTarget, 0, 0, {
            d.SyncToTarget();
            return {};
        });
        C(Unpark, 0, 0, {
            d.Unpark();
            return {};
        });
#undef C
        return t;
    }();
    return table;
}

const Entry& Find(const QString& member, const QString& source) {
    const auto& t = Table();
    const auto it = t.find(member.toLower());
    if (it == t.end())
        Raise(ascom_error::kUnknownName, source,
              QStringLiteral("Unknown member \"%1\".").arg(member));
    return *it;
}

}  // namespace

QVariant TelescopeBase::Get(const QString& member) {
    const Entry& e = Find(member, source_);
    if (!e.get) {
        // Parameterless methods may be read like properties, as automation allows.
        if (e.call && e.minArgs == 0) return e.call(*this, {}, member);
        Raise(ascom_error::kNotImplemented, source_,
              QStringLiteral("%1 cannot be read.").arg(member));
    }
    return e.get(*this, {}, member);
}

void TelescopeBase::Put(const QString& member, const QVariant& value) {
    const Entry& e = Find(member, source_);
    if (!e.put)
        Raise(ascom_error::kNotImplemented, source_,
              QStringLiteral("%1 cannot be written.").arg(member));
    e.put(*this, {value}, member);
}

QVariant TelescopeBase::Call(const QString& member, const QVariantList& args) {
    const Entry& e = Find(member, source_);
    if (!e.call) {
        if (e.get && args.isEmpty()) return e.get(*this, {}, member);
        Raise(ascom_error::kNotImplemented, source_,
              QStringLiteral("%1 is not a method.").arg(member));
    }
    if (args.size() < e.minArgs || args.size() > e.maxArgs)
        Raise(ascom_error::kBadParamCount, source_,
              QStringLiteral("%1 takes %2 argument(s), %3 given.")
                  .arg(member)
                  .arg(e.maxArgs)
                  .arg(args.size()));
    return e.call(*this, args, member);
}

}  // namespace celaris
