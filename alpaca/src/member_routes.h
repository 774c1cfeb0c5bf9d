// The members of a MemberTable routed onto the typed member functions of an
// object: each wire member is bound once to the function that answers it;
// the parsed arguments (already of the member's kinds and ranges) become
// its typed arguments, its result the answer's JSON Value. Used for the
// Telescope device on the hub's Telescope object; any other interface
// described the same way (the scripting Calibration) routes the same way.
#pragma once

#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>

#include <functional>
#include <type_traits>
#include <utility>

#include "api_request.h"
#include "celaris/dispatch/ascom_errors.h"
#include "celaris/dispatch/errors.h"
#include "celaris/dispatch/telescope_types.h"
#include "celaris/drivers/alpaca/wire.h"

namespace celaris::alpaca {

// A parsed argument as the typed member takes it.
template <typename T>
std::decay_t<T> FromWire(const WireValue& v) {
    using D = std::decay_t<T>;
    if constexpr (std::is_enum_v<D>)
        return static_cast<D>(std::get<int32_t>(v));
    else if constexpr (std::is_same_v<D, int>)
        return std::get<int32_t>(v);
    else
        return std::get<D>(v);
}

// A driver collection handed on as it came (QVariant) as its wire array.
QJsonValue CollectionToJson(const QVariant& v, alpaca_wire::Kind kind, const QString& member);
QJsonValue StateToJson(const StateValues& state);

// A typed result as the answer's Value.
template <typename R>
QJsonValue ToJson(const R& r, const alpaca_wire::Member& m) {
    if constexpr (std::is_enum_v<R>)
        return static_cast<int>(r);
    else if constexpr (std::is_same_v<R, QDateTime>)
        return alpaca_wire::FormatUtcDate(r);
    else if constexpr (std::is_same_v<R, QStringList>)
        return QJsonArray::fromStringList(r);
    else if constexpr (std::is_same_v<R, QVariant>)
        return CollectionToJson(r, m.result, m.name);
    else if constexpr (std::is_same_v<R, StateValues>)
        return StateToJson(r);
    else
        return QJsonValue(r);
}

template <typename Object>
class MemberRoutes {
  public:
    using Handler = std::function<QJsonValue(Object&, const std::vector<WireValue>&,
                                             const alpaca_wire::Member&)>;

    template <typename R, typename... A>
    void Bind(const alpaca_wire::Member* member, R (Object::*fn)(A...)) {
        if (member == nullptr) return;
        handlers_.insert(
            member, [fn](Object& o, const std::vector<WireValue>& a, const alpaca_wire::Member& m) {
                return Invoke(o, fn, a, m, std::index_sequence_for<A...>{});
            });
    }

    // Calls the member; a member without a Value (PUT) returns Undefined.
    QJsonValue Invoke(Object& o, const DeviceCall& call) const {
        const auto it = handlers_.constFind(call.member);
        if (it == handlers_.cend())
            Raise(ascom_error::kNotImplemented, QString::fromLatin1(dispatch::kHubSource),
                  QStringLiteral("The Alpaca server has no call for %1.").arg(call.member->name));
        return (*it)(o, call.args, *call.member);
    }

  private:
    template <typename R, typename... A, size_t... I>
    static QJsonValue Invoke(Object& o, R (Object::*fn)(A...), const std::vector<WireValue>& a,
                             const alpaca_wire::Member& m, std::index_sequence<I...>) {
        if constexpr (std::is_void_v<R>) {
            (o.*fn)(FromWire<A>(a[I])...);
            return QJsonValue(QJsonValue::Undefined);
        } else {
            return ToJson((o.*fn)(FromWire<A>(a[I])...), m);
        }
    }

    QHash<const alpaca_wire::Member*, Handler> handlers_;
};

}  // namespace celaris::alpaca
