#include "celaris/catalogue/databases_folder.h"

#include <QDir>
#include <QFileInfo>

#ifndef CELARIS_INSTALL_DATADIR
#define CELARIS_INSTALL_DATADIR "/usr/local/share/celaris"
#endif

namespace celaris::catalogue {

namespace {

// Read from /proc rather than QCoreApplication, so that the folder is known
// before (or without) an application object.
QString ExecutableFolder() {
    const QFileInfo exe(QStringLiteral("/proc/self/exe"));
    const QString target = exe.symLinkTarget();
    return target.isEmpty() ? QString() : QFileInfo(target).absolutePath();
}

}  // namespace

QString DataFolder() {
    const QString env = qEnvironmentVariable("CELARIS_DATA_DIR");
    if (!env.isEmpty()) return QDir::cleanPath(env);
    const QString exe = ExecutableFolder();
    if (!exe.isEmpty()) {
        const QString beside = QDir::cleanPath(exe + QStringLiteral("/../share/celaris"));
        if (QFileInfo(beside).isDir()) return beside;
    }
    return QStringLiteral(CELARIS_INSTALL_DATADIR);
}

QString DatabasesFolder() {
    return DataFolder() + QStringLiteral("/databases");
}

QString SitingStarsPath() {
    return DatabasesFolder() + QLatin1Char('/') + QLatin1String(kSitingStarsFile);
}

}  // namespace celaris::catalogue
