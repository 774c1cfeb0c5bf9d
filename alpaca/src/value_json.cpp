// Driver values that are collections, as their wire arrays.
#include "celaris/dispatch/driver.h"
#include "member_routes.h"

namespace celaris::alpaca {

namespace {

[[noreturn]] void WrongCollection(const QString& member, const QVariant& v) {
    Raise(ascom_error::kTypeMismatch, QString::fromLatin1(dispatch::kHubSource),
          QStringLiteral("The telescope driver's %1 returned %2, not a collection.")
              .arg(member, QLatin1String(v.typeName())));
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

}  // namespace celaris::alpaca
