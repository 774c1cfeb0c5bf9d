// The settings reader on arbitrary settings files: the store's parser and
// every typed read. A file it cannot use is set aside, so each run starts in
// an empty folder.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtGlobal>

#include <cstddef>
#include <cstdint>

#include "celaris/profile/profile.h"
#include "celaris/profile/settings.h"

using namespace celaris::profile;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The reader's warnings about bad files would flood the output.
    static const bool quiet = [] {
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
        return true;
    }();
    (void)quiet;
    // Reading creates sub-keys, and every write of the store is flushed to
    // disk: on a memory file system that costs nothing.
    static QTemporaryDir dir(QDir(QStringLiteral("/dev/shm")).exists()
                                 ? QStringLiteral("/dev/shm/celaris-fuzz-XXXXXX")
                                 : QDir::tempPath() + QStringLiteral("/celaris-fuzz-XXXXXX"));
    const QString path = dir.filePath(QStringLiteral("profile.json"));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return 0;
        file.write(reinterpret_cast<const char*>(data), qsizetype(size));
    }
    {
        Profile profile(path);
        (void)ReadAllSettings(profile);
    }
    QDir(dir.path()).removeRecursively();
    QDir().mkpath(dir.path());
    return 0;
}
