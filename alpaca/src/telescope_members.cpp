#include "telescope_members.h"

#include "celaris/dispatch/telescope_members.h"
#include "member_routes.h"

namespace celaris::alpaca {

using alpaca_wire::Verb;
using hub::Telescope;

namespace {

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

QJsonValue InvokeMember(Telescope& telescope, const DeviceCall& call) {
    return Routes().Invoke(telescope, call);
}

}  // namespace celaris::alpaca
