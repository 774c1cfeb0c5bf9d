#include "celaris/profile/atomic_file.h"

#include <QDir>
#include <QFileInfo>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

namespace celaris::profile {

namespace {

const QString kTempMarker = QStringLiteral(".tmp-");

QString Errno(const char* what, const QString& path) {
    return QStringLiteral("%1 %2: %3")
        .arg(QLatin1String(what), path, QString::fromLocal8Bit(std::strerror(errno)));
}

// Closes the descriptor however the write ends.
struct Fd {
    int fd = -1;
    ~Fd() {
        if (fd >= 0) ::close(fd);
    }
    bool Close() {
        const int f = fd;
        fd = -1;
        return ::close(f) == 0;
    }
};

bool WriteAll(int fd, const char* data, qsizetype size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size_t(size));
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        size -= n;
    }
    return true;
}

bool SyncFolder(const QString& folder) {
    Fd dir{::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
    if (dir.fd < 0) return false;
    return ::fsync(dir.fd) == 0 || errno == EINVAL;  // some file systems cannot sync folders
}

}  // namespace

bool WriteFileAtomically(const QString& path, const QByteArray& contents, QString* error,
                         const WriteStepHook& hook) {
    static std::atomic<unsigned> counter{0};
    auto fail = [&](QString why) {
        if (error != nullptr) *error = std::move(why);
        return false;
    };

    const QFileInfo target(path);
    const QString folder = target.absolutePath();
    if (!QDir().mkpath(folder)) return fail(QStringLiteral("cannot create the folder ") + folder);

    const QString temp = target.absoluteFilePath() + kTempMarker + QString::number(::getpid()) +
                         QLatin1Char('-') + QString::number(++counter);
    const QByteArray tempName = QFile::encodeName(temp);
    Fd file{::open(tempName.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666)};
    if (file.fd < 0) return fail(Errno("cannot create", temp));

    // Temporary file: contents, then sync, so that the rename can only ever
    // expose complete data.
    if (!WriteAll(file.fd, contents.constData(), contents.size())) {
        const QString why = Errno("cannot write", temp);
        ::unlink(tempName.constData());
        return fail(why);
    }
    if (hook) hook(WriteStep::TempWritten);
    if (::fsync(file.fd) != 0) {
        const QString why = Errno("cannot sync", temp);
        ::unlink(tempName.constData());
        return fail(why);
    }
    if (hook) hook(WriteStep::TempSynced);
    if (!file.Close()) {
        const QString why = Errno("cannot close", temp);
        ::unlink(tempName.constData());
        return fail(why);
    }

    // The switch from old to new contents is this one rename.
    if (::rename(tempName.constData(), QFile::encodeName(target.absoluteFilePath()).constData()) !=
        0) {
        const QString why = Errno("cannot replace", path);
        ::unlink(tempName.constData());
        return fail(why);
    }
    if (hook) hook(WriteStep::Renamed);

    // The rename lives in the folder; sync it too.
    if (!SyncFolder(folder)) return fail(Errno("cannot sync the folder", folder));
    if (hook) hook(WriteStep::DirectorySynced);
    return true;
}

void RemoveStaleTempFiles(const QString& path) {
    const QFileInfo target(path);
    const QDir folder = target.absoluteDir();
    const QString prefix = target.fileName() + kTempMarker;
    const QStringList temps =
        folder.entryList({prefix + QLatin1Char('*')}, QDir::Files | QDir::Hidden);
    for (const QString& name : temps) {
        // <file>.tmp-<pid>-<n>
        const QString rest = name.mid(prefix.size());
        bool ok = false;
        const qint64 pid = rest.section(QLatin1Char('-'), 0, 0).toLongLong(&ok);
        if (!ok || pid <= 0) continue;
        if (pid == ::getpid()) continue;
        if (::kill(pid_t(pid), 0) == 0 || errno != ESRCH) continue;  // its writer may still run
        QFile::remove(folder.filePath(name));
    }
}

}  // namespace celaris::profile
