#include "motion_wait.h"

#include <optional>
#include <thread>

#include "celaris/drivers/alpaca/wire.h"

namespace celaris::alpaca {

using alpaca_wire::FindMember;
using alpaca_wire::Verb;
using Begin = std::function<hub::MotionTicket(hub::Telescope&, const std::vector<WireValue>&)>;

namespace {

double D(const std::vector<WireValue>& a, size_t i) {
    return std::get<double>(a.at(i));
}

// The members that wait, each with the step that starts its motion.
const std::vector<std::pair<const alpaca_wire::Member*, Begin>>& Motions() {
    static const std::vector<std::pair<const alpaca_wire::Member*, Begin>> motions = [] {
        std::vector<std::pair<const alpaca_wire::Member*, Begin>> m;
        auto add = [&](const char* path, Begin begin) {
            if (const auto* member = FindMember(Verb::Put, QLatin1String(path)))
                m.emplace_back(member, std::move(begin));
        };
        add("slewtocoordinates", [](hub::Telescope& t, const auto& a) {
            return t.BeginSlewToCoordinates(D(a, 0), D(a, 1));
        });
        add("slewtotarget", [](hub::Telescope& t, const auto&) { return t.BeginSlewToTarget(); });
        add("slewtoaltaz",
            [](hub::Telescope& t, const auto& a) { return t.BeginSlewToAltAz(D(a, 0), D(a, 1)); });
        add("park", [](hub::Telescope& t, const auto&) { return t.BeginPark(); });
        add("findhome", [](hub::Telescope& t, const auto&) { return t.BeginFindHome(); });
        return m;
    }();
    return motions;
}

const Begin* BeginOf(const alpaca_wire::Member* member) {
    for (const auto& [m, begin] : Motions())
        if (m == member) return &begin;
    return nullptr;
}

bool Succeeded(const std::variant<MemberOutcome, HttpAnswer>& r) {
    const auto* outcome = std::get_if<MemberOutcome>(&r);
    return outcome != nullptr && outcome->number == 0;
}

}  // namespace

bool IsMotion(const alpaca_wire::Member* member) {
    return BeginOf(member) != nullptr;
}

std::variant<MemberOutcome, HttpAnswer> WaitForMotion(const DeviceCall& call, const RunOnHub& run,
                                                      std::chrono::milliseconds interval) {
    const Begin* begin = BeginOf(call.member);
    std::optional<hub::MotionTicket> ticket;
    auto result = run([&](hub::Telescope& t) {
        ticket = (*begin)(t, call.args);
        return QJsonValue(QJsonValue::Undefined);
    });
    // Refused (limits, parked, not connected...): the answer says why.
    if (!Succeeded(result) || !ticket) return result;
    for (;;) {
        std::this_thread::sleep_for(interval);
        bool settled = false;
        result = run([&](hub::Telescope& t) {
            settled = t.MotionSettled(*ticket);
            return QJsonValue(QJsonValue::Undefined);
        });
        if (settled || !Succeeded(result)) return result;
    }
}

}  // namespace celaris::alpaca
