// The members of an Alpaca Telescope device as they travel on the wire: the
// lower-case path, the HTTP verb, the parameter keys with their exact
// casing, and the kind of value each answer carries. The server routes and
// parses by this table; the driver builds its requests and reads the
// answers by it, so both ends agree by construction.
#pragma once

#include <QList>
#include <QString>

namespace celaris::alpaca_wire {

enum class Verb { Get, Put };

// What a parameter or an answer's Value holds.
enum class Kind {
    None,       // no Value (PUT answers)
    Bool,       // true / false
    Int,        // whole number (enumerations too)
    Double,     // number
    Text,       // string
    Date,       // ISO 8601 UTC string
    IntList,    // array of whole numbers (TrackingRates)
    AxisRates,  // array of {"Maximum": x, "Minimum": y}
    TextList,   // array of strings (SupportedActions)
};

struct Param {
    QString key;  // exact casing, as a PUT form must carry it
    Kind kind;
    bool optional = false;  // missing: false / empty
};

struct Member {
    QString name;  // ASCOM name, "RightAscension"
    QString path;  // its lower-case form, "rightascension"
    Verb verb;
    bool method;  // a method (called), not a property (read or written)
    QList<Param> params;
    Kind result;
    // Returns only when the mount has finished moving (synchronous slews,
    // Park, FindHome, PulseGuide on some mounts): callers wait longer.
    bool longWait = false;
};

// Every member of the Telescope device, common members included.
const QList<Member>& TelescopeMembers();
// The member at this exact (lower-case) path for this verb; nullptr if none.
const Member* FindMember(Verb verb, const QString& path);

}  // namespace celaris::alpaca_wire
