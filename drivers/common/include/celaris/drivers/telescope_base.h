// Base of the telescope drivers Celaris brings, in the manner of INDI's
// driver base classes: it owns the late-bound side (member names, argument
// and result conversion, argument counts) and the guards every member
// passes before the driver sees it, in one order: the member's capability
// flag, the connection, the park, the range of each argument. A subclass
// then answers only its own questions: the typed members its mount can do.
// A member it does not override answers as ASCOM prescribes for a driver
// that says nothing: capability flags false, no actions, interface version
// 3, and otherwise the not-implemented error with the driver's source.
//
// The typed members, one per line of telescope_members.def, take the ASCOM
// names (setters "Set" + name). The guards run on the late-bound path, the
// one every caller of a driver takes.
#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

#include "celaris/dispatch/driver.h"
#include "celaris/dispatch/member_table.h"
#include "celaris/dispatch/telescope_members.h"
#include "celaris/dispatch/telescope_types.h"

namespace celaris {

class TelescopeBase : public Driver {
  public:
    explicit TelescopeBase(QString source) : source_(std::move(source)) {}

    QVariant Get(const QString& member) final;
    void Put(const QString& member, const QVariant& value) final;
    QVariant Call(const QString& member, const QVariantList& args) final;

    const QString& source() const { return source_; }

    // The typed members.
#define CELARIS_GET(Name, Type, Capability, Needs) virtual Type Name();
#define CELARIS_PUT(Name, Type, Capability, Needs) \
    virtual void Set##Name(dispatch::ArgType<Type> value);
#define CELARIS_METHOD0(Verb, Name, Result, Capability, Needs, Wait) virtual Result Name();
#define CELARIS_METHOD1(Verb, Name, Result, Capability, Needs, Wait, K1, T1) \
    virtual Result Name(dispatch::ArgType<T1>);
#define CELARIS_METHOD2(Verb, Name, Result, Capability, Needs, Wait, K1, T1, K2, T2) \
    virtual Result Name(dispatch::ArgType<T1>, dispatch::ArgType<T2>);
#include "celaris/dispatch/telescope_members.def"
#undef CELARIS_GET
#undef CELARIS_PUT
#undef CELARIS_METHOD0
#undef CELARIS_METHOD1
#undef CELARIS_METHOD2

  protected:
    [[noreturn]] void NotImplemented(const QString& member) const;
    // The connection guard: raises when the mount is not connected. The
    // default asks Connected(); a driver that knows why it lost the mount
    // says so here.
    virtual void EnsureConnected();

  private:
    // The guards of one late-bound member, in order.
    void Require(const dispatch::Member& member, const QVariantList& args);
    // What a member the subclass leaves out answers.
    template <typename R>
    R DefaultAnswer(const char* member, const QVariantList& args = {});

    QString source_;
};

}  // namespace celaris
