#include "celaris/calibration/documents_folder.h"

#include <QDir>
#include <QStandardPaths>

namespace celaris::calibration {

QString DocumentsFolder() {
    QString base = qEnvironmentVariable("CELARIS_DOCUMENTS_DIR");
    if (base.isEmpty()) {
        base = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
        if (base.isEmpty()) base = QDir::homePath();
        base += QStringLiteral("/Celaris");
    }
    QDir().mkpath(base);
    return QDir::cleanPath(base) + QLatin1Char('/');
}

}  // namespace celaris::calibration
