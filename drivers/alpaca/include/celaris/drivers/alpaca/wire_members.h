// The members of an Alpaca Telescope device as they travel on the wire: the
// lower-case path, the HTTP verb, the parameter keys with their exact
// casing, and the kind of value each answer carries. The server routes and
// parses by this table; the driver builds its requests and reads the
// answers by it, so both ends agree by construction. Both come from the one
// description of the interface, celaris/dispatch/telescope_members.def.
#pragma once

#include <QList>
#include <QString>

#include "celaris/dispatch/member_table.h"

namespace celaris::alpaca_wire {

using dispatch::Kind;
using dispatch::Member;
using dispatch::Param;
using dispatch::Verb;

// Every member of the Telescope device served on the wire, common members
// included.
const QList<Member>& TelescopeMembers();
// The member at this exact (lower-case) path for this verb; nullptr if none.
const Member* FindMember(Verb verb, const QString& path);

}  // namespace celaris::alpaca_wire
