// The ASCOM Telescope members as a table (from telescope_members.def), and
// the quantities its parameters are written in, each with the range ASCOM
// gives it.
#pragma once

#include "celaris/dispatch/member_table.h"
#include "celaris/dispatch/telescope_types.h"

namespace celaris {

// Quantities: the value type and the range a parameter must lie in.
struct RaHours {
    using type = double;
    static constexpr dispatch::Range kRange{0.0, 24.0, false, "hours"};
};
struct DecDeg {
    using type = double;
    static constexpr dispatch::Range kRange{-90.0, 90.0, true, "degrees"};
};
struct AltitudeDeg {
    using type = double;
    static constexpr dispatch::Range kRange{-90.0, 90.0, true, "degrees"};
};
// Counted from north through east.
struct AzimuthDeg {
    using type = double;
    static constexpr dispatch::Range kRange{0.0, 360.0, false, "degrees"};
};
struct LatitudeDeg {
    using type = double;
    static constexpr dispatch::Range kRange{-90.0, 90.0, true, "degrees"};
};
// East positive.
struct LongitudeDeg {
    using type = double;
    static constexpr dispatch::Range kRange{-180.0, 180.0, true, "degrees"};
};
struct ElevationM {
    using type = double;
    static constexpr dispatch::Range kRange{-300.0, 10000.0, true, "metres"};
};
struct GuideRateDegPerSec {
    using type = double;
    static constexpr dispatch::Range kRange{0.0, 1e9, true, "degrees per second"};
};
struct SettleSeconds {
    using type = int;
    static constexpr dispatch::Range kRange{0.0, dispatch::kNoUpperLimit, true, "seconds"};
};
struct DurationMs {
    using type = int;
    static constexpr dispatch::Range kRange{0.0, dispatch::kNoUpperLimit, true, "milliseconds"};
};

// Enumerations written as parameters: the values they define. SideOfPier
// is written east or west, never unknown.
template <typename E>
struct EnumParam {
    using type = E;
    static constexpr bool optional = false;
};
}  // namespace celaris

namespace celaris::dispatch {
template <>
struct ParamTraits<PierSide> : EnumParam<PierSide> {
    static constexpr std::optional<Range> range = Range{0, 1, true, ""};
};
template <>
struct ParamTraits<DriveRates> : EnumParam<DriveRates> {
    static constexpr std::optional<Range> range = Range{0, 3, true, ""};
};
template <>
struct ParamTraits<TelescopeAxes> : EnumParam<TelescopeAxes> {
    static constexpr std::optional<Range> range = Range{0, 2, true, ""};
};
template <>
struct ParamTraits<GuideDirections> : EnumParam<GuideDirections> {
    static constexpr std::optional<Range> range = Range{0, 3, true, ""};
};

template <>
struct KindOf<TrackingRates> {
    static constexpr Kind value = Kind::IntList;
};
template <>
struct KindOf<AxisRates> {
    static constexpr Kind value = Kind::AxisRates;
};
template <>
struct KindOf<StateValues> {
    static constexpr Kind value = Kind::StateList;
};
}  // namespace celaris::dispatch

namespace celaris {

// Every member of the Telescope interface, common members included.
const dispatch::MemberTable& TelescopeMemberTable();

}  // namespace celaris
