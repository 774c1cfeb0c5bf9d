// The scripting interface Calibration on the Alpaca server, at
// /celaris/v1/calibration/0/<member in lower case>: GET reads a property
// (an indexed one takes Index), PUT writes a property (its value under the
// property's own name) or calls a method. Parameter keys match in any
// letter case; omitted optional parameters take the interface's defaults.
//
// Unlike the telescope's, these answers carry the error's own number
// unchanged (the scripting and hub numbers, a driver's or the engine's),
// and its source in ErrorSource, so scripts see what COM clients saw.
// GET /celaris/v1/calibration/0/help lists the members with their help.
#pragma once

#include <QJsonValue>
#include <QVariantList>

#include <string>
#include <string_view>

#include "api_request.h"
#include "celaris/calibration/calibration_scripting.h"

namespace celaris::alpaca {

struct CalibrationCall {
    const calibration::ScriptMember* member = nullptr;
    calibration::Access access = calibration::Access::Get;
    // Every parameter in order, omitted optional ones with their defaults;
    // a put's value last.
    QVariantList args;
    Transaction ids;
};

struct CalibrationRouted {
    enum class Kind { BadRequest, Call, Help };
    Kind kind = Kind::BadRequest;
    std::string text;  // BadRequest: the reason
    CalibrationCall call;
};

// The path belongs to the scripting interfaces (/celaris/...).
bool IsCalibrationPath(std::string_view path);

// Checks a request on the network thread: path, verb, member and
// parameters; malformed requests are refused here.
CalibrationRouted RouteCalibration(const ApiRequest& request);

// On the main thread: the call made and its JSON answer.
std::string CalibrationAnswer(calibration::Calibration& calibration, const CalibrationCall& call,
                              uint32_t serverTransactionId);

// The help page's Value: the members with their kinds, parameters and help
// texts, and the enumerations.
QJsonValue CalibrationHelp();

}  // namespace celaris::alpaca
