// An indiserver process that Celaris started itself: on a free local port,
// with its own local socket path, in a process group of its own so that
// stopping it also stops the drivers it started. It dies with Celaris, also
// when Celaris is killed (see src/spawn.h), and is recorded in the runtime
// folder (server_record.h); a start first stops the servers an earlier run
// left there.
#pragma once

#include <QString>
#include <QStringList>

#include <sys/types.h>
#include <chrono>
#include <memory>

#include "celaris/drivers/indi/server_record.h"

namespace celaris::indi {

struct IndiServerOptions {
    QString program = QStringLiteral("indiserver");
    // Driver executables, e.g. "indi_simulator_telescope".
    QStringList drivers;
    // HOME for the server and its drivers (INDI drivers keep their
    // configuration and park data under it); empty inherits the caller's.
    QString home;
    // Where the server's output goes; empty discards it.
    QString logFile;
    // How long the server may take to accept connections.
    std::chrono::milliseconds readyTimeout{10000};
    // The TCP port; 0 takes a free one.
    int port = 0;
    // Where the server is recorded and its local socket lies; empty:
    // DefaultRuntimeDir().
    QString runtimeDir;
};

class IndiServer {
  public:
    // Starts the server on a free port of this machine and waits until it
    // accepts connections. Raises a ComError (source `errorSource`) when it
    // cannot be started or does not come up in time.
    static std::unique_ptr<IndiServer> Start(const IndiServerOptions& options,
                                             const QString& errorSource);
    // Stops the server and its drivers.
    ~IndiServer();
    IndiServer(const IndiServer&) = delete;
    IndiServer& operator=(const IndiServer&) = delete;

    int port() const { return port_; }
    pid_t pid() const { return pid_; }
    // The server process has not ended.
    bool Running();
    // SIGTERM to the process group, SIGKILL after a grace period; waits for
    // the server to end. Safe to call twice.
    void Stop();

  private:
    IndiServer(pid_t pid, int port, QString socketPath)
        : pid_(pid), port_(port), socketPath_(std::move(socketPath)) {}
    bool Reap(bool block);

    pid_t pid_ = -1;
    int port_ = 0;
    QString socketPath_;
    bool reaped_ = false;
    std::unique_ptr<ServerRecord> record_;
};

// A TCP port on this machine that nothing listens on right now.
int FreeLocalPort();

}  // namespace celaris::indi
