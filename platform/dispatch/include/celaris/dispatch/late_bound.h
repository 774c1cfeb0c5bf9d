// Late binding onto typed members: members of a MemberTable are got, put and
// called by name (letter case ignored) with QVariant values, and each is
// bound once to the typed member function of Object that answers it. The
// binding converts the arguments (a value of the wrong type is the type
// mismatch error), checks their number, and turns the result into a QVariant
// (enumerations as int). A guard given with each call runs after the
// argument count is checked and before the typed member.
#pragma once

#include <QHash>
#include <QVariant>
#include <QVariantList>

#include <functional>
#include <type_traits>
#include <utility>

#include "celaris/dispatch/ascom_errors.h"
#include "celaris/dispatch/driver.h"
#include "celaris/dispatch/member_table.h"

namespace celaris::dispatch {

// A late-bound argument as the typed member takes it.
template <typename T>
std::decay_t<T> FromVariant(const QVariant& v, const QString& member) {
    using D = std::decay_t<T>;
    if constexpr (std::is_same_v<D, bool>)
        return ToBool(v, member);
    else if constexpr (std::is_enum_v<D>)
        return static_cast<D>(ToInt(v, member));
    else if constexpr (std::is_same_v<D, int>)
        return ToInt(v, member);
    else if constexpr (std::is_same_v<D, double>)
        return ToDouble(v, member);
    else if constexpr (std::is_same_v<D, QString>)
        return v.canConvert<QString>() ? v.toString() : ToText(v, member);
    else if constexpr (std::is_same_v<D, QDateTime>)
        return ToDateTime(v, member);
    else
        static_assert(!sizeof(D), "no late-bound conversion for this argument type");
}

// A typed result as a late-bound value.
template <typename R>
QVariant ToVariant(R&& r) {
    using D = std::decay_t<R>;
    if constexpr (std::is_enum_v<D>)
        return QVariant(static_cast<int>(r));
    else if constexpr (std::is_same_v<D, QVariant>)
        return std::forward<R>(r);
    else
        return QVariant::fromValue(std::forward<R>(r));
}

template <typename Object>
class LateBound {
  public:
    using Handler = std::function<QVariant(Object&, const QVariantList&, const QString&)>;
    using Guard = std::function<void(const Member&, const QVariantList&)>;

    explicit LateBound(const MemberTable& table) : table_(table) {}

    // Binds a member to the typed member function that answers it.
    template <typename R, typename... A>
    void Bind(const Member* member, R (Object::*fn)(A...)) {
        handlers_.insert(member, [fn](Object& o, const QVariantList& a, const QString& name) {
            return Invoke(o, fn, a, name, std::index_sequence_for<A...>{});
        });
    }

    // Source: the object's error source. Parameterless methods may be read
    // like properties, and properties read by a call without arguments.
    QVariant Get(Object& o, const QString& name, const QString& source, const Guard& guard) const {
        const MemberTable::ByName& b = Find(name, source);
        if (b.get) return Run(o, *b.get, {}, name, guard);
        if (b.call && Required(*b.call) == 0) return Run(o, *b.call, {}, name, guard);
        Raise(ascom_error::kNotImplemented, source, QStringLiteral("%1 cannot be read.").arg(name));
    }

    void Put(Object& o, const QString& name, const QVariant& value, const QString& source,
             const Guard& guard) const {
        const MemberTable::ByName& b = Find(name, source);
        if (!b.put)
            Raise(ascom_error::kNotImplemented, source,
                  QStringLiteral("%1 cannot be written.").arg(name));
        Run(o, *b.put, {value}, name, guard);
    }

    QVariant Call(Object& o, const QString& name, const QVariantList& args, const QString& source,
                  const Guard& guard) const {
        const MemberTable::ByName& b = Find(name, source);
        if (!b.call) {
            if (b.get && args.isEmpty()) return Run(o, *b.get, {}, name, guard);
            Raise(ascom_error::kNotImplemented, source,
                  QStringLiteral("%1 is not a method.").arg(name));
        }
        const qsizetype most = b.call->params.size();
        if (args.size() < Required(*b.call) || args.size() > most)
            Raise(ascom_error::kBadParamCount, source,
                  QStringLiteral("%1 takes %2 argument(s), %3 given.")
                      .arg(name)
                      .arg(most)
                      .arg(args.size()));
        return Run(o, *b.call, args, name, guard);
    }

    const MemberTable& table() const { return table_; }

  private:
    template <typename R, typename... A, size_t... I>
    static QVariant Invoke(Object& o, R (Object::*fn)(A...), const QVariantList& a,
                           const QString& name, std::index_sequence<I...>) {
        // An optional argument left out takes its type's empty value.
        auto arg = [&]<size_t i, typename T>() -> std::decay_t<T> {
            if (qsizetype(i) >= a.size()) return std::decay_t<T>{};
            return FromVariant<T>(a[qsizetype(i)], name);
        };
        if constexpr (std::is_void_v<R>) {
            (o.*fn)(arg.template operator()<I, A>()...);
            return {};
        } else {
            return ToVariant((o.*fn)(arg.template operator()<I, A>()...));
        }
    }

    static qsizetype Required(const Member& m) {
        qsizetype n = 0;
        for (const Param& p : m.params)
            if (!p.optional) ++n;
        return n;
    }

    const MemberTable::ByName& Find(const QString& name, const QString& source) const {
        const MemberTable::ByName* b = table_.FindByName(name);
        if (b == nullptr)
            Raise(ascom_error::kUnknownName, source,
                  QStringLiteral("Unknown member \"%1\".").arg(name));
        return *b;
    }

    QVariant Run(Object& o, const Member& m, const QVariantList& args, const QString& name,
                 const Guard& guard) const {
        const auto it = handlers_.constFind(&m);
        if (it == handlers_.cend())
            Raise(ascom_error::kNotImplemented, QStringLiteral("Celaris"),
                  QStringLiteral("%1 has no typed member.").arg(m.name));
        if (guard) guard(m, args);
        return (*it)(o, args, name);
    }

    const MemberTable& table_;
    QHash<const Member*, Handler> handlers_;
};

}  // namespace celaris::dispatch
