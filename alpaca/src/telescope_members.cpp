#include "telescope_members.h"

#include "celaris/dispatch/telescope_members.h"
#include "member_routes.h"

namespace celaris::alpaca {

using alpaca_wire::Verb;
using hub::Telescope;

namespace {

[[noreturn]] void WrongCollection(const QString& member, const QVariant& v) {
    Raise(ascom_error::kTypeMismatch, QString::fromLatin1(dispatch::kHubSource),
          QStringLiteral("The telescope driver's %1 returned %2, not a collection.")
              .arg(member, QLatin1String(v.typeName())));
}

// Every served member of the description, bound to the hub's Telescope
// member of the same name.
const MemberRoutes<Telescope>& Routes() {
    static const MemberRoutes<Telescope> routes = [] {
        const dispatch::MemberTable& table = TelescopeMemberTable();
        MemberRoutes<Telescope> r;
        using namespace dispatch::columns;
        auto find = [&](dispatch::Verb verb, const char* name) {
            return table.Find(verb, QString::fromLatin1(name).toLower());
        };
#define CELARIS_GET(Name, Type, Capability, Needs) r.Bind(find(Get, #Name), &Telescope::Name);
#define CELARIS_PUT(Name, Type, Capability, Needs) r.Bind(find(Put, #Name), &Telescope::Set##Name);
#define CELARIS_METHOD0(Verb, Name, Result, Capability, Needs, Wait) \
    r.Bind(find(Verb, #Name), &Telescope::Name);
#define CELARIS_METHOD1(Verb, Name, Result, Capability, Needs, Wait, K1, T1) \
    r.Bind(find(Verb, #Name), &Telescope::Name);
#define CELARIS_METHOD2(Verb, Name, Result, Capability, Needs, Wait, K1, T1, K2, T2) \
    r.Bind(find(Verb, #Name), &Telescope::Name);
#include "celaris/dispatch/telescope_members.def"
#undef CELARIS_GET
#undef CELARIS_PUT
#undef CELARIS_METHOD0
#undef CELARIS_METHOD1
#undef CELARIS_METHOD2
        return r;
    }();
    return routes;
}

}  // namespace

QJsonValue CollectionToJson(const QVariant& v, alpaca_wire::Kind kind, const QString& member) {
    QJsonArray out;
    if (kind == alpaca_wire::Kind::IntList) {
        // The driver's TrackingRates collection as an array of DriveRates values.
        if (v.metaType() == QMetaType::fromType<TrackingRates>()) {
            for (int rate : v.value<TrackingRates>()) out.append(rate);
        } else if (v.canConvert<QVariantList>()) {
            for (const QVariant& e : v.toList()) out.append(ToInt(e, member));
        } else {
            WrongCollection(member, v);
        }
        return out;
    }
    if (kind == alpaca_wire::Kind::AxisRates) {
        if (v.metaType() != QMetaType::fromType<AxisRates>()) WrongCollection(member, v);
        for (const AxisRate& r : v.value<AxisRates>())
            out.append(QJsonObject{{QStringLiteral("Maximum"), r.maximum},
                                   {QStringLiteral("Minimum"), r.minimum}});
        return out;
    }
    return QJsonValue::fromVariant(v);
}

QJsonValue StateToJson(const StateValues& state) {
    QJsonArray out;
    for (const StateValue& item : state) {
        const QJsonValue value =
            item.value.typeId() == QMetaType::QDateTime
                ? QJsonValue(alpaca_wire::FormatUtcDate(item.value.toDateTime()))
                : QJsonValue::fromVariant(item.value);
        out.append(
            QJsonObject{{QStringLiteral("Name"), item.name}, {QStringLiteral("Value"), value}});
    }
    return out;
}

QJsonValue InvokeMember(Telescope& telescope, const DeviceCall& call) {
    return Routes().Invoke(telescope, call);
}

}  // namespace celaris::alpaca
