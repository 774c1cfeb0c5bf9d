// The automatic calibration on the Alpaca server, beside the scripting
// interface, at /celaris/v1/autocalibration/0/<member in lower case>, with
// the same conventions: GET reads, PUT writes a property (its value under
// the property's own name) or calls a method; parameter keys in any letter
// case; errors carry their own number and source.
//
// Methods Start, Stop, Resume; read-only State, PointIndex, Running,
// CalStatus, StarfixStatus, CameraStatus, TimeLeft, LastError; every
// setting of the run's window and Camera as properties under their stored
// names. GET .../help lists them.
#pragma once

#include <QJsonValue>
#include <QString>

#include <string>
#include <string_view>

#include "api_request.h"
#include "celaris/calibration/auto_calibration.h"

namespace celaris::alpaca {

struct AutoCalRouted {
    enum class Kind { BadRequest, Call, Help };
    Kind kind = Kind::BadRequest;
    std::string text;  // BadRequest: the reason
    QString member;    // as the interface spells it
    bool put = false;
    QString value;  // a property put's value
    Transaction ids;
};

bool IsAutoCalibrationPath(std::string_view path);

// On the network thread: path, verb, member and parameters.
AutoCalRouted RouteAutoCalibration(const ApiRequest& request);

// On the main thread: the call made and its JSON answer.
std::string AutoCalibrationAnswer(calibration::AutoCalibration& run, const AutoCalRouted& call,
                                  uint32_t serverTransactionId);

QJsonValue AutoCalibrationHelp();

}  // namespace celaris::alpaca
