#include "celaris/drivers/alpaca/wire_members.h"

#include "celaris/dispatch/telescope_members.h"

namespace celaris::alpaca_wire {

const QList<Member>& TelescopeMembers() {
    // Members reached only inside the program (SetupDialog) are not served.
    static const QList<Member> served = [] {
        QList<Member> list;
        for (const Member& m : TelescopeMemberTable().members())
            if (m.verb != Verb::Local) list.append(m);
        return list;
    }();
    return served;
}

const Member* FindMember(Verb verb, const QString& path) {
    return TelescopeMemberTable().Find(verb, path);
}

}  // namespace celaris::alpaca_wire
