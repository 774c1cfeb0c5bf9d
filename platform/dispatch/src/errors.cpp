#include "celaris/dispatch/errors.h"

namespace celaris::dispatch {

namespace {
ComError Hub(HRESULT number, const QString& description) {
    return ComError(number, QString::fromUtf8(kHubSource), description);
}
}  // namespace

ComError ErrHubNotImplemented(const QString& member) {
    return Hub(kErrHubNotImplemented,
               member + QStringLiteral(" is not implemented by this telescope driver object."));
}

ComError ErrHubNotConnected() {
    return Hub(kErrHubNotConnected, QStringLiteral("Telescope not connected."));
}

ComError ErrHubNoDriver() {
    return Hub(kErrHubNoDriver, QStringLiteral("Telescope driver not selected in Celaris."));
}

ComError ErrIndexBounds() {
    return ComError(kErrIndexBounds, QString::fromUtf8(kScriptingSource),
                    QStringLiteral("Index") + QStringLiteral(" is out of Bounds"));
}

ComError ErrSlewLimits() {
    return Hub(kErrSlewLimits, QStringLiteral("User specified slew limits exceeded."));
}

ComError ErrNoCorrection() {
    return Hub(kErrNoCorrection, QStringLiteral("Cannot calculate corrected position."));
}

ComError ErrMotionAborted(const QString& member) {
    return Hub(kErrMotionEnded,
               member + QStringLiteral(" ended early: AbortSlew stopped the mount."));
}

ComError ErrMotionStopped(const QString& member) {
    return Hub(kErrMotionEnded,
               member + QStringLiteral(" ended early: the mount stopped before it arrived."));
}

ComError ErrRegistryKey(const QString& source, const QString& key) {
    return ComError(kErrRegistryKey, source,
                    QStringLiteral("Failed to open sub-key ") + key + QStringLiteral("."));
}

ComError ErrRegistryRoot(const QString& source, int systemErrorCode) {
    return ComError(kErrRegistryKey, source,
                    QStringLiteral("Failed to open/create root registry key (") +
                        QString::number(systemErrorCode) + QStringLiteral(")"));
}

ComError ErrRegistryNonString(const QString& source, const QString& key, const QString& value) {
    return ComError(kErrRegistryKey, source,
                    QStringLiteral("Non-string found in ") + key + QStringLiteral(" ") + value);
}

}  // namespace celaris::dispatch
