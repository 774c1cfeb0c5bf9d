#include "celaris/dispatch/driver.h"

#include <QDateTime>
#include <cmath>

#include "celaris/dispatch/ascom_errors.h"
#include "celaris/dispatch/com_error.h"

namespace celaris {

namespace {
[[noreturn]] void Mismatch(const QVariant& v, const QString& member, const char* wanted) {
    Raise(ascom_error::kTypeMismatch, QStringLiteral("Celaris"),
          QStringLiteral("%1 returned %2 where %3 was expected.")
              .arg(member, v.isValid() ? QString::fromLatin1(v.typeName()) : "nothing",
                   QString::fromLatin1(wanted)));
}

bool IsNumber(const QVariant& v) {
    switch (v.typeId()) {
        case QMetaType::Bool:
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::Short:
        case QMetaType::UShort:
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
        case QMetaType::Double:
        case QMetaType::Float:
            return true;
        default:
            return false;
    }
}
}  // namespace

bool ToBool(const QVariant& v, const QString& member) {
    if (!IsNumber(v)) Mismatch(v, member, "a Boolean");
    return v.toDouble() != 0.0;
}

int ToInt(const QVariant& v, const QString& member) {
    if (!IsNumber(v)) Mismatch(v, member, "a whole number");
    const double d = std::nearbyint(v.toDouble());
    if (!(d >= -2147483648.0 && d <= 2147483647.0)) Mismatch(v, member, "a 32-bit number");
    return static_cast<int>(d);
}

double ToDouble(const QVariant& v, const QString& member) {
    if (!IsNumber(v)) Mismatch(v, member, "a number");
    return v.toDouble();
}

QString ToText(const QVariant& v, const QString& member) {
    if (v.typeId() != QMetaType::QString) Mismatch(v, member, "text");
    return v.toString();
}

QDateTime ToDateTime(const QVariant& v, const QString& member) {
    if (v.typeId() != QMetaType::QDateTime) Mismatch(v, member, "a date");
    return v.toDateTime();
}

DriverFactory& DriverFactory::Instance() {
    static DriverFactory factory;
    return factory;
}

void DriverFactory::Register(const QString& prefix, Maker maker) {
    makers_.append({prefix, std::move(maker)});
}

std::unique_ptr<Driver> DriverFactory::Create(const QString& id) const {
    for (const auto& [prefix, maker] : makers_) {
        const bool match = prefix.endsWith(':') ? id.startsWith(prefix) : id == prefix;
        if (match) return maker(id);
    }
    Raise(static_cast<int32_t>(0x80040154), QStringLiteral("Celaris"),
          QStringLiteral("No telescope driver is known by the id \"%1\".").arg(id));
}

}  // namespace celaris
