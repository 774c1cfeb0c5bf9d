// What the scripting interfaces on the Alpaca server (the Calibration and
// the automatic calibration, under /celaris/v1/) check and answer alike.
#pragma once

#include <QJsonValue>
#include <QString>

#include <optional>
#include <string>

#include "api_request.h"
#include "celaris/calibration/calibration_scripting.h"
#include "celaris/dispatch/com_error.h"
#include "celaris/dispatch/errors.h"
#include "json_answer.h"

namespace celaris::alpaca {

// GET and HEAD read; PUT writes or calls.
inline bool IsRead(const ApiRequest& request) {
    return request.method == "GET" || request.method == "HEAD";
}

// Why a request is refused before its path is read: the paths are lower
// case and the verbs GET and PUT.
std::optional<std::string> RefusedRequest(const ApiRequest& request);

// Why the member cannot be used with this verb: a method is called with
// PUT, a read-only property read with GET.
std::optional<std::string> RefusedVerb(const std::string& member, calibration::MemberKind kind,
                                       bool read);

// The kind as the help page names it.
QString KindText(calibration::MemberKind kind);

// The JSON answer of a call: answer() gives the Value. Its error goes back
// with the number and source it was raised with, unchanged, because
// scripts act on the interface's own numbers; Value is then valueOnError.
template <typename Answer>
std::string ScriptingAnswer(const Transaction& ids, uint32_t serverTransactionId, bool hasValue,
                            const QJsonValue& valueOnError, Answer&& answer) {
    QJsonValue value;
    int number = 0;
    QString message, source;
    try {
        value = answer();
    } catch (...) {
        const dispatch::ComError e =
            dispatch::CurrentError(QString::fromLatin1(dispatch::kScriptingSource));
        number = e.number();
        message = e.description();
        source = e.source();
        value = valueOnError;
    }
    return JsonAnswer(ids, serverTransactionId, number, message, source,
                      hasValue ? &value : nullptr);
}

}  // namespace celaris::alpaca
