// A client's synchronous slew, park or find-home over Alpaca. The motion is
// started on the hub's thread; then the request's own worker waits for its
// end, asking the hub on its thread at a short interval, so that every other
// client is served meanwhile and an AbortSlew from anyone reaches the mount.
// The waiting call ends with the hub's answer: the normal result, "ended
// early" after an abort, or the driver's error.
#pragma once

#include <QJsonValue>
#include <QString>

#include <chrono>
#include <functional>
#include <variant>

#include "api_request.h"
#include "celaris/hub/telescope.h"

namespace celaris::alpaca {

// How often a waiting motion asks whether it has ended.
inline constexpr std::chrono::milliseconds kMotionPollInterval{50};

// A member's result on the hub's thread: an error number (Alpaca) and
// message, or the value.
struct MemberOutcome {
    int number = 0;
    QString message;
    QJsonValue value = QJsonValue(QJsonValue::Undefined);
};

// One step on the calling client's Telescope object.
using MemberStep = std::function<QJsonValue(hub::Telescope&)>;
// Runs a step on the hub's thread as the client's call: its outcome, or the
// answer that stands in when the hub did not run it (it is stopping).
using RunOnHub = std::function<std::variant<MemberOutcome, HttpAnswer>(const MemberStep&)>;

// SlewToCoordinates, SlewToTarget, SlewToAltAz, Park and FindHome.
bool IsMotion(const alpaca_wire::Member* member);

// Worker thread: begins the motion through run, then waits for its end.
std::variant<MemberOutcome, HttpAnswer> WaitForMotion(
    const DeviceCall& call, const RunOnHub& run,
    std::chrono::milliseconds interval = kMotionPollInterval);

}  // namespace celaris::alpaca
