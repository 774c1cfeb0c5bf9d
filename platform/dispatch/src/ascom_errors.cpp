#include "celaris/dispatch/ascom_errors.h"

#include "celaris/dispatch/com_error.h"

namespace celaris::ascom_error {

void NotImplemented(const QString& source, const QString& member) {
    Raise(kNotImplemented, source, member + QStringLiteral(" is not implemented."));
}
void InvalidValue(const QString& source, const QString& what) {
    Raise(kInvalidValue, source, what);
}
void ValueNotSet(const QString& source, const QString& what) {
    Raise(kValueNotSet, source, what);
}
void NotConnected(const QString& source) {
    Raise(kNotConnected, source, QStringLiteral("The telescope is not connected."));
}
void InvalidWhileParked(const QString& source, const QString& member) {
    Raise(kInvalidWhileParked, source,
          member + QStringLiteral(" is not allowed while the telescope is parked."));
}
void InvalidOperation(const QString& source, const QString& what) {
    Raise(kInvalidOperation, source, what);
}

}  // namespace celaris::ascom_error
