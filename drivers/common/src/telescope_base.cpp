#include "celaris/drivers/telescope_base.h"

#include <type_traits>

#include "celaris/dispatch/ascom_errors.h"
#include "celaris/dispatch/com_error.h"
#include "celaris/dispatch/late_bound.h"

namespace celaris {

using dispatch::Member;
using dispatch::Needs;

void TelescopeBase::NotImplemented(const QString& member) const {
    ascom_error::NotImplemented(source_, member);
}

void TelescopeBase::EnsureConnected() {
    if (!Connected()) ascom_error::NotConnected(source_);
}

// ASCOM's answers for a member a driver leaves out: capabilities a driver
// does not state are absent, it has no actions and no dialog, it speaks the
// interface's version 3; anything else is not implemented.
template <typename R>
R TelescopeBase::DefaultAnswer(const char* member, const QVariantList& args) {
    const QLatin1String name(member);
    if constexpr (std::is_same_v<R, bool>) {
        if (name.startsWith(QLatin1String("Can"))) return false;
    } else if constexpr (std::is_same_v<R, int>) {
        if (name == QLatin1String("InterfaceVersion")) return 3;
    } else if constexpr (std::is_same_v<R, QStringList>) {
        if (name == QLatin1String("SupportedActions")) return {};
    } else if constexpr (std::is_same_v<R, QString>) {
        if (name == QLatin1String("Action"))
            Raise(ascom_error::kActionNotImplemented, source_,
                  QStringLiteral("The action \"%1\" is not implemented.")
                      .arg(args.value(0).toString()));
    } else if constexpr (std::is_void_v<R>) {
        if (name == QLatin1String("SetupDialog")) return;
    }
    NotImplemented(name);
}

// The defaults of every typed member.
#define CELARIS_GET(Name, Type, Capability, Needs) \
    Type TelescopeBase::Name() {                   \
        return DefaultAnswer<Type>(#Name);         \
    }
#define CELARIS_PUT(Name, Type, Capability, Needs)           \
    void TelescopeBase::Set##Name(dispatch::ArgType<Type>) { \
        DefaultAnswer<void>(#Name);                          \
    }
#define CELARIS_METHOD0(Verb, Name, Result, Capability, Needs, Wait) \
    Result TelescopeBase::Name() {                                   \
        return DefaultAnswer<Result>(#Name);                         \
    }
#define CELARIS_METHOD1(Verb, Name, Result, Capability, Needs, Wait, K1, T1) \
    Result TelescopeBase::Name(dispatch::ArgType<T1> a1) {                   \
        return DefaultAnswer<Result>(#Name, {dispatch::ToVariant(a1)});      \
    }
#define CELARIS_METHOD2(Verb, Name, Result, Capability, Needs, Wait, K1, T1, K2, T2)             \
    Result TelescopeBase::Name(dispatch::ArgType<T1> a1, dispatch::ArgType<T2> a2) {             \
        return DefaultAnswer<Result>(#Name, {dispatch::ToVariant(a1), dispatch::ToVariant(a2)}); \
    }
#include "celaris/dispatch/telescope_members.def"
#undef CELARIS_GET
#undef CELARIS_PUT
#undef CELARIS_METHOD0
#undef CELARIS_METHOD1
#undef CELARIS_METHOD2

namespace {

// Each member of the table bound to its typed member.
const dispatch::LateBound<TelescopeBase>& Dispatch() {
    static const dispatch::LateBound<TelescopeBase> bound = [] {
        const dispatch::MemberTable& table = TelescopeMemberTable();
        dispatch::LateBound<TelescopeBase> b(table);
        auto find = [&](const char* name) { return table.FindByName(QLatin1String(name)); };
#define CELARIS_GET(Name, Type, Capability, Needs) b.Bind(find(#Name)->get, &TelescopeBase::Name);
#define CELARIS_PUT(Name, Type, Capability, Needs) \
    b.Bind(find(#Name)->put, &TelescopeBase::Set##Name);
#define CELARIS_METHOD0(Verb, Name, Result, Capability, Needs, Wait) \
    b.Bind(find(#Name)->call, &TelescopeBase::Name);
#define CELARIS_METHOD1(Verb, Name, Result, Capability, Needs, Wait, K1, T1) \
    b.Bind(find(#Name)->call, &TelescopeBase::Name);
#define CELARIS_METHOD2(Verb, Name, Result, Capability, Needs, Wait, K1, T1, K2, T2) \
    b.Bind(find(#Name)->call, &TelescopeBase::Name);
#include "celaris/dispatch/telescope_members.def"
#undef CELARIS_GET
#undef CELARIS_PUT
#undef CELARIS_METHOD0
#undef CELARIS_METHOD1
#undef CELARIS_METHOD2
        return b;
    }();
    return bound;
}

}  // namespace

void TelescopeBase::Require(const Member& m, const QVariantList& args) {
    const auto guard = [this](const Member& g, const QVariantList& a) { Require(g, a); };
    // The capability flag, asked with the member's own first arguments
    // (CanMoveAxis with the axis).
    if (!m.capability.isEmpty()) {
        const auto* flag = Dispatch().table().FindByName(m.capability);
        const bool method = flag->get == nullptr;
        const QVariant able =
            method ? Dispatch().Call(*this, m.capability, args.mid(0, flag->call->params.size()),
                                     source_, guard)
                   : Dispatch().Get(*this, m.capability, source_, guard);
        if (!ToBool(able, m.capability)) NotImplemented(m.name);
    }
    if (m.needs != Needs::Nothing) EnsureConnected();
    // A mount that cannot park is never parked.
    if (m.needs == Needs::Unparked && CanPark() && AtPark())
        ascom_error::InvalidWhileParked(source_, m.name);
    for (qsizetype i = 0; i < m.params.size() && i < args.size(); ++i) {
        const dispatch::Param& p = m.params[i];
        if (!p.range) continue;
        const std::string error =
            dispatch::OutOfRangeText(p.key, ToDouble(args[i], m.name), *p.range);
        if (!error.empty()) ascom_error::InvalidValue(source_, QString::fromStdString(error));
    }
}

QVariant TelescopeBase::Get(const QString& member) {
    return Dispatch().Get(*this, member, source_,
                          [this](const Member& m, const QVariantList& a) { Require(m, a); });
}

void TelescopeBase::Put(const QString& member, const QVariant& value) {
    Dispatch().Put(*this, member, value, source_,
                   [this](const Member& m, const QVariantList& a) { Require(m, a); });
}

QVariant TelescopeBase::Call(const QString& member, const QVariantList& args) {
    return Dispatch().Call(*this, member, args, source_,
                           [this](const Member& m, const QVariantList& a) { Require(m, a); });
}

}  // namespace celaris
