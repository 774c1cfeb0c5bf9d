// A late-bound interface described once: each member's name, how it is
// reached (read, written, called), its parameters with their keys, kinds and
// ranges, the kind of its result, and what must hold before it runs. The
// description is written as an X-macro file (telescope_members.def is the
// first); from it come the Alpaca wire table, the by-name dispatch of a
// driver base class and the Alpaca server's routing onto an object.
#pragma once

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>
#include <string>
#include <type_traits>

namespace celaris::dispatch {

// How a member is reached on the Alpaca wire; Local members are reached by
// name inside the program only (SetupDialog).
enum class Verb { Get, Put, Local };

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
    StateList,  // array of {"Name": n, "Value": v} (DeviceState)
};

// What must hold before a member runs, after its capability flag: nothing,
// a connection, or a connection and a mount that is not parked.
enum class Needs { Nothing, Connection, Unparked };

// The values a parameter may take: [low, high] or [low, high).
struct Range {
    double low;
    double high;
    bool highIncluded;
    const char* unit;  // "" for counts and enumerations
};
// An upper end at or above this is no limit at all.
inline constexpr double kNoUpperLimit = 2147483647.0;

// "Declination 100 is outside the range [-90, 90] degrees.", or empty text
// when the value lies inside.
std::string OutOfRangeText(const QString& key, double value, const Range& range);

struct Param {
    QString key;  // exact casing, as a PUT form must carry it
    Kind kind;
    bool optional = false;  // missing: false / empty
    std::optional<Range> range;
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
    // The capability flag that must be true (a member of the same table,
    // taking the member's first arguments when it takes any); empty: none.
    QString capability;
    Needs needs = Needs::Nothing;
};

class MemberTable {
  public:
    // Members are added first, then the table is finished once; the
    // lookups hold pointers into the list.
    void Add(Member m);
    void Finish();

    MemberTable() = default;
    MemberTable(MemberTable&&) = default;
    MemberTable& operator=(MemberTable&&) = default;
    MemberTable(const MemberTable&) = delete;
    MemberTable& operator=(const MemberTable&) = delete;

    const QList<Member>& members() const { return members_; }
    // The member at this exact (lower-case) path for this verb; nullptr if none.
    const Member* Find(Verb verb, const QString& path) const;

    // The members a late-bound caller reaches by a name in any letter case.
    struct ByName {
        const Member* get = nullptr;   // property read
        const Member* put = nullptr;   // property written
        const Member* call = nullptr;  // method
    };
    const ByName* FindByName(const QString& name) const;

  private:
    QList<Member> members_;
    QHash<QString, qsizetype> get_;
    QHash<QString, qsizetype> put_;
    QHash<QString, ByName> byName_;
};

// ---- The C++ types of a description ----------------------------------------

// A parameter written as Optional<bool> may be left out (it is then false).
template <typename T>
struct Optional {
    using type = T;
};

// The wire kind of a C++ value type; enumerations travel as whole numbers.
template <typename T, typename = void>
struct KindOf {
    static_assert(std::is_enum_v<T>, "a type without a wire kind");
    static constexpr Kind value = Kind::Int;
};
template <>
struct KindOf<void> {
    static constexpr Kind value = Kind::None;
};
template <>
struct KindOf<bool> {
    static constexpr Kind value = Kind::Bool;
};
template <>
struct KindOf<int> {
    static constexpr Kind value = Kind::Int;
};
template <>
struct KindOf<double> {
    static constexpr Kind value = Kind::Double;
};
template <>
struct KindOf<QString> {
    static constexpr Kind value = Kind::Text;
};
template <>
struct KindOf<QDateTime> {
    static constexpr Kind value = Kind::Date;
};
template <>
struct KindOf<QStringList> {
    static constexpr Kind value = Kind::TextList;
};

// A parameter's type in a description: a plain type, Optional<T>, or a
// quantity (a struct with `type` and a `kRange`) such as the right ascension
// in hours. Enumerations may give their range by specialising this.
template <typename T, typename = void>
struct ParamTraits {
    using type = T;
    static constexpr bool optional = false;
    static constexpr std::optional<Range> range{};
};
template <typename T>
struct ParamTraits<T, std::void_t<decltype(T::kRange)>> {
    using type = typename T::type;
    static constexpr bool optional = false;
    static constexpr std::optional<Range> range = T::kRange;
};
template <typename T>
struct ParamTraits<Optional<T>> {
    using type = T;
    static constexpr bool optional = true;
    static constexpr std::optional<Range> range{};
};

// The C++ type a typed member takes for a parameter of this description type:
// numbers, flags and enumerations by value, text and dates by reference.
template <typename T>
using ArgType =
    std::conditional_t<std::is_class_v<typename ParamTraits<T>::type>,
                       const typename ParamTraits<T>::type&, typename ParamTraits<T>::type>;

template <typename T>
Param MakeParam(const char* key) {
    using P = ParamTraits<T>;
    return {QString::fromLatin1(key), KindOf<typename P::type>::value, P::optional, P::range};
}

// ---- Building a table from a description ----------------------------------

// The lines of a description, as the X-macros of a .def file give them:
//   CELARIS_GET(Name, Type, Capability, Needs)       read with GET
//   CELARIS_PUT(Name, Type, Capability, Needs)       written with PUT (form key Name)
//   CELARIS_METHOD0(Verb, Name, Result, Capability, Needs, Wait)
//   CELARIS_METHOD1(..., Wait, Key1, Type1)
//   CELARIS_METHOD2(..., Wait, Key1, Type1, Key2, Type2)
// Capability is a flag member's name or Always; Needs is Nothing,
// Connection or Unparked; Wait is Quick or Long.
class MemberTableBuilder {
  public:
    template <typename T>
    void Property(const char* name, const char* capability, Needs needs) {
        Add(name, Verb::Get, false, {}, KindOf<T>::value, false, capability, needs);
    }
    template <typename T>
    void Write(const char* name, const char* capability, Needs needs) {
        Add(name, Verb::Put, false, {MakeParam<T>(name)}, Kind::None, false, capability, needs);
    }
    template <typename R>
    void Method(Verb verb, const char* name, const char* capability, Needs needs, bool longWait,
                QList<Param> params) {
        Add(name, verb, true, std::move(params), KindOf<R>::value, longWait, capability, needs);
    }
    MemberTable Build();

  private:
    void Add(const char* name, Verb verb, bool method, QList<Param> params, Kind result,
             bool longWait, const char* capability, Needs needs);
    MemberTable table_;
};

// The tokens of the description's columns, for the X-macros (the capability
// column is passed as text: "Always" or the flag's name).
namespace columns {
inline constexpr Needs Nothing = Needs::Nothing;
inline constexpr Needs Connection = Needs::Connection;
inline constexpr Needs Unparked = Needs::Unparked;
inline constexpr bool Quick = false;
inline constexpr bool Long = true;
inline constexpr Verb Get = Verb::Get;
inline constexpr Verb Put = Verb::Put;
inline constexpr Verb Local = Verb::Local;
}  // namespace columns

}  // namespace celaris::dispatch
