#include "telescope_members.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonObject>

#include "celaris/dispatch/ascom_errors.h"
#include "celaris/dispatch/errors.h"
#include "celaris/dispatch/telescope_types.h"
#include "celaris/drivers/alpaca/wire.h"

namespace celaris::alpaca {

using alpaca_wire::FindMember;
using alpaca_wire::Verb;
using hub::Telescope;
using Args = std::vector<WireValue>;
using Invoke = QJsonValue (*)(Telescope&, const Args&);

namespace {

double D(const Args& a, size_t i) {
    return std::get<double>(a[i]);
}
int32_t I(const Args& a, size_t i) {
    return std::get<int32_t>(a[i]);
}
bool B(const Args& a, size_t i) {
    return std::get<bool>(a[i]);
}
const QString& S(const Args& a, size_t i) {
    return std::get<QString>(a[i]);
}
const QDateTime& Date(const Args& a, size_t i) {
    return std::get<QDateTime>(a[i]);
}

[[noreturn]] void WrongCollection(const char* member, const QVariant& v) {
    Raise(ascom_error::kTypeMismatch, QString::fromLatin1(dispatch::kHubSource),
          QStringLiteral("The telescope driver's %1 returned %2, not a collection.")
              .arg(QLatin1String(member), QLatin1String(v.typeName())));
}

// The driver's TrackingRates collection as an array of DriveRates values.
QJsonValue RatesArray(const QVariant& v) {
    QJsonArray out;
    if (v.metaType() == QMetaType::fromType<TrackingRates>()) {
        for (int rate : v.value<TrackingRates>()) out.append(rate);
    } else if (v.canConvert<QVariantList>()) {
        for (const QVariant& e : v.toList()) out.append(ToInt(e, QStringLiteral("TrackingRates")));
    } else {
        WrongCollection("TrackingRates", v);
    }
    return out;
}

// The driver's AxisRates collection as the Alpaca array of objects.
QJsonValue AxisRatesArray(const QVariant& v) {
    if (v.metaType() != QMetaType::fromType<AxisRates>()) WrongCollection("AxisRates", v);
    QJsonArray out;
    for (const AxisRate& r : v.value<AxisRates>())
        out.append(QJsonObject{{QStringLiteral("Maximum"), r.maximum},
                               {QStringLiteral("Minimum"), r.minimum}});
    return out;
}

QJsonValue None() {
    return QJsonValue(QJsonValue::Undefined);
}

const QHash<const alpaca_wire::Member*, Invoke>& Table() {
    static const QHash<const alpaca_wire::Member*, Invoke> table = [] {
        QHash<const alpaca_wire::Member*, Invoke> t;
        auto get = [&](const char* path, Invoke f) {
            t.insert(FindMember(Verb::Get, QLatin1String(path)), f);
        };
        auto put = [&](const char* path, Invoke f) {
            t.insert(FindMember(Verb::Put, QLatin1String(path)), f);
        };
#define GET(path, expr) get(path, [](Telescope& t, const Args&) -> QJsonValue { return expr; })
#define PUT(path, stmt)                                                        \
    put(path, [](Telescope& t, [[maybe_unused]] const Args& a) -> QJsonValue { \
        stmt;                                                                  \
        return None();                                                         \
    })

        // Common members. Celaris offers no actions.
        GET("connected", t.Connected());
        GET("description", t.Description());
        GET("driverinfo", t.DriverInfo());
        GET("driverversion", t.DriverVersion());
        GET("interfaceversion", t.InterfaceVersion());
        GET("name", t.Name());
        get("supportedactions", [](Telescope&, const Args&) -> QJsonValue { return QJsonArray(); });
        PUT("connected", t.SetConnected(B(a, 0)));
        put("action", [](Telescope&, const Args& a) -> QJsonValue {
            Raise(ascom_error::kActionNotImplemented, QString::fromLatin1(dispatch::kHubSource),
                  QStringLiteral("Celaris has no actions; \"%1\" is not one.").arg(S(a, 0)));
        });
        PUT("commandblind", t.CommandBlind(S(a, 0), B(a, 1)));
        put("commandbool", [](Telescope& t, const Args& a) -> QJsonValue {
            return t.CommandBool(S(a, 0), B(a, 1));
        });
        put("commandstring", [](Telescope& t, const Args& a) -> QJsonValue {
            return t.CommandString(S(a, 0), B(a, 1));
        });

        // Properties.
        GET("alignmentmode", static_cast<int>(t.AlignmentMode()));
        GET("altitude", t.Altitude());
        GET("aperturearea", t.ApertureArea());
        GET("aperturediameter", t.ApertureDiameter());
        GET("athome", t.AtHome());
        GET("atpark", t.AtPark());
        GET("azimuth", t.Azimuth());
        GET("canfindhome", t.CanFindHome());
        GET("canpark", t.CanPark());
        GET("canpulseguide", t.CanPulseGuide());
        GET("cansetdeclinationrate", t.CanSetDeclinationRate());
        GET("cansetguiderates", t.CanSetGuideRates());
        GET("cansetpark", t.CanSetPark());
        GET("cansetpierside", t.CanSetPierSide());
        GET("cansetrightascensionrate", t.CanSetRightAscensionRate());
        GET("cansettracking", t.CanSetTracking());
        GET("canslew", t.CanSlew());
        GET("canslewaltaz", t.CanSlewAltAz());
        GET("canslewaltazasync", t.CanSlewAltAzAsync());
        GET("canslewasync", t.CanSlewAsync());
        GET("cansync", t.CanSync());
        GET("cansyncaltaz", t.CanSyncAltAz());
        GET("canunpark", t.CanUnpark());
        GET("declination", t.Declination());
        GET("declinationrate", t.DeclinationRate());
        GET("doesrefraction", t.DoesRefraction());
        GET("equatorialsystem", static_cast<int>(t.EquatorialSystem()));
        GET("focallength", t.FocalLength());
        GET("guideratedeclination", t.GuideRateDeclination());
        GET("guideraterightascension", t.GuideRateRightAscension());
        GET("ispulseguiding", t.IsPulseGuiding());
        GET("rightascension", t.RightAscension());
        GET("rightascensionrate", t.RightAscensionRate());
        GET("sideofpier", static_cast<int>(t.SideOfPier()));
        GET("siderealtime", t.SiderealTime());
        GET("siteelevation", t.SiteElevation());
        GET("sitelatitude", t.SiteLatitude());
        GET("sitelongitude", t.SiteLongitude());
        GET("slewing", t.Slewing());
        GET("slewsettletime", t.SlewSettleTime());
        GET("targetdeclination", t.TargetDeclination());
        GET("targetrightascension", t.TargetRightAscension());
        GET("tracking", t.Tracking());
        GET("trackingrate", static_cast<int>(t.TrackingRate()));
        GET("trackingrates", RatesArray(t.TrackingRates()));
        GET("utcdate", alpaca_wire::FormatUtcDate(t.UTCDate()));

        PUT("declinationrate", t.SetDeclinationRate(D(a, 0)));
        PUT("doesrefraction", t.SetDoesRefraction(B(a, 0)));
        PUT("guideratedeclination", t.SetGuideRateDeclination(D(a, 0)));
        PUT("guideraterightascension", t.SetGuideRateRightAscension(D(a, 0)));
        PUT("rightascensionrate", t.SetRightAscensionRate(D(a, 0)));
        PUT("sideofpier", t.SetSideOfPier(static_cast<PierSide>(I(a, 0))));
        PUT("siteelevation", t.SetSiteElevation(D(a, 0)));
        PUT("sitelatitude", t.SetSiteLatitude(D(a, 0)));
        PUT("sitelongitude", t.SetSiteLongitude(D(a, 0)));
        PUT("slewsettletime", t.SetSlewSettleTime(I(a, 0)));
        PUT("targetdeclination", t.SetTargetDeclination(D(a, 0)));
        PUT("targetrightascension", t.SetTargetRightAscension(D(a, 0)));
        PUT("tracking", t.SetTracking(B(a, 0)));
        PUT("trackingrate", t.SetTrackingRate(static_cast<DriveRates>(I(a, 0))));
        PUT("utcdate", t.SetUTCDate(Date(a, 0)));

        // Methods.
        get("axisrates", [](Telescope& t, const Args& a) -> QJsonValue {
            return AxisRatesArray(t.AxisRates(static_cast<TelescopeAxes>(I(a, 0))));
        });
        get("canmoveaxis", [](Telescope& t, const Args& a) -> QJsonValue {
            return t.CanMoveAxis(static_cast<TelescopeAxes>(I(a, 0)));
        });
        get("destinationsideofpier", [](Telescope& t, const Args& a) -> QJsonValue {
            return static_cast<int>(t.DestinationSideOfPier(D(a, 0), D(a, 1)));
        });
        PUT("abortslew", t.AbortSlew());
        PUT("findhome", t.FindHome());
        PUT("moveaxis", t.MoveAxis(static_cast<TelescopeAxes>(I(a, 0)), D(a, 1)));
        PUT("park", t.Park());
        PUT("pulseguide", t.PulseGuide(static_cast<GuideDirections>(I(a, 0)), I(a, 1)));
        PUT("setpark", t.SetPark());
        PUT("slewtoaltaz", t.SlewToAltAz(D(a, 0), D(a, 1)));
        PUT("slewtoaltazasync", t.SlewToAltAzAsync(D(a, 0), D(a, 1)));
        PUT("slewtocoordinates", t.SlewToCoordinates(D(a, 0), D(a, 1)));
        PUT("slewtocoordinatesasync", t.SlewToCoordinatesAsync(D(a, 0), D(a, 1)));
        PUT("slewtotarget", t.SlewToTarget());
        PUT("slewtotargetasync", t.SlewToTargetAsync());
        PUT("synctoaltaz", t.SyncToAltAz(D(a, 0), D(a, 1)));
        PUT("synctocoordinates", t.SyncToCoordinates(D(a, 0), D(a, 1)));
        PUT("synctotarget", t.SyncToTarget());
        PUT("unpark", t.Unpark());
#undef GET
#undef PUT
        t.remove(nullptr);  // a misspelt path above
        return t;
    }();
    return table;
}

}  // namespace

QJsonValue InvokeMember(Telescope& telescope, const DeviceCall& call) {
    const Invoke f = Table().value(call.member);
    if (f == nullptr)
        Raise(ascom_error::kNotImplemented, QString::fromLatin1(dispatch::kHubSource),
              QStringLiteral("The Alpaca server has no call for %1.").arg(call.member->name));
    return f(telescope, call.args);
}

}  // namespace celaris::alpaca
