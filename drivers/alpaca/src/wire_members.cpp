#include "celaris/drivers/alpaca/wire_members.h"

#include <QHash>

namespace celaris::alpaca_wire {

namespace {

struct Table {
    QList<Member> members;
    QHash<QString, int> get;
    QHash<QString, int> put;
};

const Table& TheTable() {
    static const Table table = [] {
        Table t;
        auto add = [&](Member m) {
            m.path = m.name.toLower();
            (m.verb == Verb::Get ? t.get : t.put).insert(m.path, int(t.members.size()));
            t.members.append(std::move(m));
        };
        // Properties read with GET.
        auto get = [&](const char* name, Kind result) {
            add({QString::fromLatin1(name), {}, Verb::Get, false, {}, result});
        };
        // Properties written with PUT: the form key is the member's name.
        auto put = [&](const char* name, Kind kind) {
            const QString n = QString::fromLatin1(name);
            add({n, {}, Verb::Put, false, {{n, kind}}, Kind::None});
        };
        auto method = [&](Verb verb, const char* name, QList<Param> params, Kind result,
                          bool longWait = false) {
            add({QString::fromLatin1(name), {}, verb, true, std::move(params), result, longWait});
        };

        // Common members.
        get("Connected", Kind::Bool);
        get("Description", Kind::Text);
        get("DriverInfo", Kind::Text);
        get("DriverVersion", Kind::Text);
        get("InterfaceVersion", Kind::Int);
        get("Name", Kind::Text);
        get("SupportedActions", Kind::TextList);
        put("Connected", Kind::Bool);
        method(Verb::Put, "Action", {{"Action", Kind::Text}, {"Parameters", Kind::Text}},
               Kind::Text);
        const QList<Param> command = {{"Command", Kind::Text}, {"Raw", Kind::Bool, true}};
        method(Verb::Put, "CommandBlind", command, Kind::None);
        method(Verb::Put, "CommandBool", command, Kind::Bool);
        method(Verb::Put, "CommandString", command, Kind::Text);

        // Telescope properties.
        get("AlignmentMode", Kind::Int);
        get("Altitude", Kind::Double);
        get("ApertureArea", Kind::Double);
        get("ApertureDiameter", Kind::Double);
        get("AtHome", Kind::Bool);
        get("AtPark", Kind::Bool);
        get("Azimuth", Kind::Double);
        for (const char* can :
             {"CanFindHome", "CanPark", "CanPulseGuide", "CanSetDeclinationRate",
              "CanSetGuideRates", "CanSetPark", "CanSetPierSide", "CanSetRightAscensionRate",
              "CanSetTracking", "CanSlew", "CanSlewAltAz", "CanSlewAltAzAsync", "CanSlewAsync",
              "CanSync", "CanSyncAltAz", "CanUnpark"})
            get(can, Kind::Bool);
        get("Declination", Kind::Double);
        get("DeclinationRate", Kind::Double);
        get("DoesRefraction", Kind::Bool);
        get("EquatorialSystem", Kind::Int);
        get("FocalLength", Kind::Double);
        get("GuideRateDeclination", Kind::Double);
        get("GuideRateRightAscension", Kind::Double);
        get("IsPulseGuiding", Kind::Bool);
        get("RightAscension", Kind::Double);
        get("RightAscensionRate", Kind::Double);
        get("SideOfPier", Kind::Int);
        get("SiderealTime", Kind::Double);
        get("SiteElevation", Kind::Double);
        get("SiteLatitude", Kind::Double);
        get("SiteLongitude", Kind::Double);
        get("Slewing", Kind::Bool);
        get("SlewSettleTime", Kind::Int);
        get("TargetDeclination", Kind::Double);
        get("TargetRightAscension", Kind::Double);
        get("Tracking", Kind::Bool);
        get("TrackingRate", Kind::Int);
        get("TrackingRates", Kind::IntList);
        get("UTCDate", Kind::Date);

        put("DeclinationRate", Kind::Double);
        put("DoesRefraction", Kind::Bool);
        put("GuideRateDeclination", Kind::Double);
        put("GuideRateRightAscension", Kind::Double);
        put("RightAscensionRate", Kind::Double);
        put("SideOfPier", Kind::Int);
        put("SiteElevation", Kind::Double);
        put("SiteLatitude", Kind::Double);
        put("SiteLongitude", Kind::Double);
        put("SlewSettleTime", Kind::Int);
        put("TargetDeclination", Kind::Double);
        put("TargetRightAscension", Kind::Double);
        put("Tracking", Kind::Bool);
        put("TrackingRate", Kind::Int);
        put("UTCDate", Kind::Date);

        // Telescope methods that only ask.
        const QList<Param> axis = {{"Axis", Kind::Int}};
        const QList<Param> radec = {{"RightAscension", Kind::Double},
                                    {"Declination", Kind::Double}};
        const QList<Param> azalt = {{"Azimuth", Kind::Double}, {"Altitude", Kind::Double}};
        method(Verb::Get, "AxisRates", axis, Kind::AxisRates);
        method(Verb::Get, "CanMoveAxis", axis, Kind::Bool);
        method(Verb::Get, "DestinationSideOfPier", radec, Kind::Int);

        // Telescope methods that act.
        method(Verb::Put, "AbortSlew", {}, Kind::None);
        method(Verb::Put, "FindHome", {}, Kind::None, true);
        method(Verb::Put, "MoveAxis", {{"Axis", Kind::Int}, {"Rate", Kind::Double}}, Kind::None);
        method(Verb::Put, "Park", {}, Kind::None, true);
        method(Verb::Put, "PulseGuide", {{"Direction", Kind::Int}, {"Duration", Kind::Int}},
               Kind::None, true);
        method(Verb::Put, "SetPark", {}, Kind::None);
        method(Verb::Put, "SlewToAltAz", azalt, Kind::None, true);
        method(Verb::Put, "SlewToAltAzAsync", azalt, Kind::None);
        method(Verb::Put, "SlewToCoordinates", radec, Kind::None, true);
        method(Verb::Put, "SlewToCoordinatesAsync", radec, Kind::None);
        method(Verb::Put, "SlewToTarget", {}, Kind::None, true);
        method(Verb::Put, "SlewToTargetAsync", {}, Kind::None);
        method(Verb::Put, "SyncToAltAz", azalt, Kind::None);
        method(Verb::Put, "SyncToCoordinates", radec, Kind::None);
        method(Verb::Put, "SyncToTarget", {}, Kind::None);
        method(Verb::Put, "Unpark", {}, Kind::None);
        return t;
    }();
    return table;
}

}  // namespace

const QList<Member>& TelescopeMembers() {
    return TheTable().members;
}

const Member* FindMember(Verb verb, const QString& path) {
    const Table& t = TheTable();
    const auto& index = verb == Verb::Get ? t.get : t.put;
    const auto it = index.constFind(path);
    return it == index.cend() ? nullptr : &t.members[*it];
}

}  // namespace celaris::alpaca_wire
