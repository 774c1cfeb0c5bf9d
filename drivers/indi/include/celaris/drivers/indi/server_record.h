// Servers Celaris started, recorded in its runtime folder so that a later
// run can stop what an earlier one left behind (a crash, a power cut of the
// computer that holds the folder on disk, a parent-death signal that could
// not be delivered).
//
// One file per server, "indiserver-<group>.lock", holding the server's
// process group, its leader's start time (in clock ticks since boot, as
// /proc gives it) and its local socket. The process that started the server
// holds an exclusive lock on the file for as long as the server runs; a file
// nobody holds a lock on belongs to an owner that has gone.
#pragma once

#include <QString>

#include <sys/types.h>
#include <memory>
#include <optional>

namespace celaris::indi {

// $XDG_RUNTIME_DIR/celaris, else /tmp/celaris-<uid>.
QString DefaultRuntimeDir();

class ServerRecord {
  public:
    // Writes and locks the record of the group led by `leader`; nothing,
    // with the reason in *error, when the folder cannot be written.
    static std::unique_ptr<ServerRecord> Create(const QString& runtimeDir, pid_t leader,
                                                const QString& socketPath, QString* error);
    // Removes the record.
    ~ServerRecord();
    ServerRecord(const ServerRecord&) = delete;
    ServerRecord& operator=(const ServerRecord&) = delete;

    const QString& path() const { return path_; }
    // Lets go of the lock but leaves the file: what an owner that was killed
    // leaves behind.
    void Abandon();

  private:
    ServerRecord(QString path, int fd) : path_(std::move(path)), fd_(fd) {}
    QString path_;
    int fd_ = -1;
};

// Stops the server groups of records whose owner has gone (SIGTERM, SIGKILL
// after a grace period) and removes those records and sockets. A group whose
// leader's process id now belongs to another program is left alone. Returns
// how many groups were stopped.
int StopStaleServers(const QString& runtimeDir);

// The start time of a process (clock ticks since boot), or nothing when no
// such process exists.
std::optional<long long> ProcessStartTime(pid_t pid);
// Processes of the group that have not ended (zombies do not count).
int LiveProcessesInGroup(pid_t group);

}  // namespace celaris::indi
