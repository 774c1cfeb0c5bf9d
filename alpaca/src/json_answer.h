// The JSON body of every HTTP 200 answer: ClientTransactionID,
// ServerTransactionID, ErrorNumber, ErrorMessage and, on GET answers, Value.
#pragma once

#include <QJsonValue>
#include <QString>

#include <string>

#include "api_request.h"

namespace celaris::alpaca {

std::string JsonAnswer(const Transaction& ids, uint32_t serverTransactionId, int errorNumber,
                       const QString& errorMessage, const QJsonValue* value);

// The same with ErrorSource: where the error came from ("" on success), as
// the scripting interface answers.
std::string JsonAnswer(const Transaction& ids, uint32_t serverTransactionId, int errorNumber,
                       const QString& errorMessage, const QString& errorSource,
                       const QJsonValue* value);

// The Value a GET answer carries when the call failed: the kind's empty
// value, so that clients that read Value before ErrorNumber still parse.
QJsonValue EmptyValue(alpaca_wire::Kind kind);

}  // namespace celaris::alpaca
