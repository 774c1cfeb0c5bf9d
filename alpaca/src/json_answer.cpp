#include "json_answer.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace celaris::alpaca {

namespace {

QJsonObject AnswerObject(const Transaction& ids, uint32_t serverTransactionId, int errorNumber,
                         const QString& errorMessage, const QJsonValue* value) {
    QJsonObject o;
    o.insert(QStringLiteral("ClientTransactionID"), qint64(ids.clientTransactionId));
    o.insert(QStringLiteral("ServerTransactionID"), qint64(serverTransactionId));
    o.insert(QStringLiteral("ErrorNumber"), errorNumber);
    // An error always says something.
    QString message = errorMessage;
    if (errorNumber != 0 && message.isEmpty())
        message = QStringLiteral("Error 0x%1.").arg(errorNumber, 0, 16);
    o.insert(QStringLiteral("ErrorMessage"), message);
    if (value != nullptr) o.insert(QStringLiteral("Value"), *value);
    return o;
}

}  // namespace

std::string JsonAnswer(const Transaction& ids, uint32_t serverTransactionId, int errorNumber,
                       const QString& errorMessage, const QJsonValue* value) {
    return QJsonDocument(AnswerObject(ids, serverTransactionId, errorNumber, errorMessage, value))
        .toJson(QJsonDocument::Compact)
        .toStdString();
}

std::string JsonAnswer(const Transaction& ids, uint32_t serverTransactionId, int errorNumber,
                       const QString& errorMessage, const QString& errorSource,
                       const QJsonValue* value) {
    QJsonObject o = AnswerObject(ids, serverTransactionId, errorNumber, errorMessage, value);
    o.insert(QStringLiteral("ErrorSource"), errorSource);
    return QJsonDocument(o).toJson(QJsonDocument::Compact).toStdString();
}

QJsonValue EmptyValue(alpaca_wire::Kind kind) {
    using alpaca_wire::Kind;
    switch (kind) {
        case Kind::Bool:
            return false;
        case Kind::Int:
        case Kind::Double:
            return 0;
        case Kind::Text:
        case Kind::Date:
            return QString();
        case Kind::IntList:
        case Kind::AxisRates:
        case Kind::TextList:
        case Kind::StateList:
            return QJsonArray();
        case Kind::None:
            break;
    }
    return QJsonValue();
}

}  // namespace celaris::alpaca
