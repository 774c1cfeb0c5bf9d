#include "celaris/drivers/indi/server_record.h"

#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <thread>

namespace celaris::indi {

namespace {

const QString kPrefix = QStringLiteral("indiserver-");
const QString kSuffix = QStringLiteral(".lock");

struct ProcStat {
    char state = '?';
    pid_t group = 0;
    long long startTime = 0;
};

// pid (comm) state ppid pgrp ... starttime (field 22).
std::optional<ProcStat> ReadStat(const QString& pid) {
    QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    const QByteArray text = file.readAll();
    const qsizetype close = text.lastIndexOf(')');
    if (close < 0) return std::nullopt;
    const QList<QByteArray> fields = text.mid(close + 2).split(' ');
    if (fields.size() < 20 || fields[0].isEmpty()) return std::nullopt;
    return ProcStat{fields[0][0], static_cast<pid_t>(fields[2].toInt()), fields[19].toLongLong()};
}

bool WriteAll(int fd, const QByteArray& data) {
    qsizetype done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.constData() + done, size_t(data.size() - done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += n;
    }
    return true;
}

void StopGroup(pid_t group) {
    ::kill(-group, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (LiveProcessesInGroup(group) > 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ::kill(-group, SIGKILL);
}

}  // namespace

QString DefaultRuntimeDir() {
    const QString xdg = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!xdg.isEmpty()) return xdg + QStringLiteral("/celaris");
    return QStringLiteral("/tmp/celaris-%1").arg(::getuid());
}

std::optional<long long> ProcessStartTime(pid_t pid) {
    const auto s = ReadStat(QString::number(pid));
    if (!s) return std::nullopt;
    return s->startTime;
}

int LiveProcessesInGroup(pid_t group) {
    int live = 0;
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        if (!entry[0].isDigit()) continue;
        const auto s = ReadStat(entry);
        if (s && s->group == group && s->state != 'Z') ++live;
    }
    return live;
}

std::unique_ptr<ServerRecord> ServerRecord::Create(const QString& runtimeDir, pid_t leader,
                                                   const QString& socketPath, QString* error) {
    auto fail = [&](const QString& why) -> std::unique_ptr<ServerRecord> {
        if (error) *error = why;
        return nullptr;
    };
    if (!QDir().mkpath(runtimeDir)) return fail(QStringLiteral("cannot create ") + runtimeDir);
    const auto start = ProcessStartTime(leader);
    if (!start) return fail(QStringLiteral("the server has ended"));
    // Written and locked under a temporary name, so that a scan never sees
    // an unlocked, half-written record; the lock moves with the rename.
    const QString path = QDir(runtimeDir).filePath(kPrefix + QString::number(leader) + kSuffix);
    const QString temp = path + QStringLiteral(".new");
    const QByteArray tempName = QFile::encodeName(temp);
    const int fd = ::open(tempName.constData(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return fail(QString::fromLocal8Bit(std::strerror(errno)));
    const QByteArray text = QByteArray::number(leader) + ' ' + QByteArray::number(*start) + ' ' +
                            QFile::encodeName(socketPath) + '\n';
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || !WriteAll(fd, text) ||
        ::rename(tempName.constData(), QFile::encodeName(path).constData()) != 0) {
        const QString why = QString::fromLocal8Bit(std::strerror(errno));
        ::unlink(tempName.constData());
        ::close(fd);
        return fail(why);
    }
    return std::unique_ptr<ServerRecord>(new ServerRecord(path, fd));
}

ServerRecord::~ServerRecord() {
    if (fd_ < 0) return;
    // Removed while still locked, so that no scan takes it for a stale one.
    QFile::remove(path_);
    ::close(fd_);
}

void ServerRecord::Abandon() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

int StopStaleServers(const QString& runtimeDir) {
    int stopped = 0;
    const QDir dir(runtimeDir);
    for (const QString& name : dir.entryList({kPrefix + QLatin1Char('*') + kSuffix}, QDir::Files)) {
        const QString path = dir.filePath(name);
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CLOEXEC);
        if (fd < 0) continue;
        // A lock held: its owner still runs (this or another Celaris).
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            ::close(fd);
            continue;
        }
        QFile file;
        QByteArray text;
        if (file.open(fd, QIODevice::ReadOnly, QFileDevice::DontCloseHandle)) text = file.readAll();
        const QList<QByteArray> fields = text.trimmed().split(' ');
        bool okGroup = false, okStart = false;
        const pid_t group = fields.size() >= 2 ? fields[0].toInt(&okGroup) : 0;
        const long long start = fields.size() >= 2 ? fields[1].toLongLong(&okStart) : 0;
        if (okGroup && okStart && group > 1) {
            // While any member of the group lives its id is not given to a
            // new process; a living leader with another start time means the
            // group ended and its id went to some other program.
            const auto leader = ReadStat(QString::number(group));
            const bool reused = leader && leader->state != 'Z' && leader->startTime != start;
            if (!reused && LiveProcessesInGroup(group) > 0) {
                StopGroup(group);
                ++stopped;
            }
        }
        // Its socket, when it lies where Celaris puts them.
        const QString socket =
            fields.size() >= 3 ? QFile::decodeName(fields.mid(2).join(' ')) : QString();
        if (socket.startsWith(dir.absolutePath() + QLatin1Char('/'))) QFile::remove(socket);
        QFile::remove(path);
        ::close(fd);
    }
    return stopped;
}

}  // namespace celaris::indi
