// An indiserver process that Celaris started itself: on a free local port,
// with its own local socket path, in a process group of its own so that
// stopping it also stops the drivers it started.
#pragma once

#include <QString>
#include <QStringList>

#include <sys/types.h>
#include <chrono>
#include <memory>

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
    IndiServer(pid_t pid, int port) : pid_(pid), port_(port) {}
    bool Reap(bool block);

    pid_t pid_ = -1;
    int port_ = 0;
    bool reaped_ = false;
};

// A TCP port on this machine that nothing listens on right now.
int FreeLocalPort();

}  // namespace celaris::indi
