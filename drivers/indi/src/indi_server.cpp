#include "celaris/drivers/indi/indi_server.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QList>

#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <thread>

#include "celaris/dispatch/ascom_errors.h"
#include "celaris/drivers/indi/indi_client.h"
#include "spawn.h"

extern char** environ;

namespace celaris::indi {

namespace {

constexpr int32_t kDriverError = static_cast<int32_t>(0x80040500);
constexpr int kStartAttempts = 3;

// The caller's environment with HOME replaced when asked.
QList<QByteArray> Environment(const QString& home) {
    QList<QByteArray> env;
    for (char** e = environ; *e != nullptr; ++e) {
        const QByteArray entry(*e);
        if (!home.isEmpty() && entry.startsWith("HOME=")) continue;
        env.append(entry);
    }
    if (!home.isEmpty()) env.append("HOME=" + home.toLocal8Bit());
    return env;
}

}  // namespace

namespace {

// Nothing listens on the port (bound as indiserver binds it: every address,
// address reuse on).
bool PortFree(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_ANY);
    a.sin_port = htons(static_cast<uint16_t>(port));
    const bool free = ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(fd);
    return free;
}

}  // namespace

int FreeLocalPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return 0;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    // Every address, as indiserver binds it: a port some connection uses
    // locally on the loopback is not free for it.
    a.sin_addr.s_addr = htonl(INADDR_ANY);
    a.sin_port = 0;
    socklen_t len = sizeof a;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0)
        port = ntohs(a.sin_port);
    ::close(fd);
    return port;
}

std::unique_ptr<IndiServer> IndiServer::Start(const IndiServerOptions& options,
                                              const QString& errorSource) {
    const QString runtimeDir =
        options.runtimeDir.isEmpty() ? DefaultRuntimeDir() : options.runtimeDir;
    // What an earlier run left behind holds its drivers' devices (a serial
    // port, a park file) and, perhaps, the port asked for.
    StopStaleServers(runtimeDir);
    QDir().mkpath(runtimeDir);

    QString lastError;
    // A port found free can be taken before the server binds it; try again
    // on another. A port asked for is tried once.
    const int attempts = options.port == 0 ? kStartAttempts : 1;
    for (int attempt = 0; attempt < attempts; ++attempt) {
        const int port = options.port != 0 ? options.port : FreeLocalPort();
        if (port == 0) Raise(kDriverError, errorSource, QStringLiteral("No free local port."));
        // Else the readiness probe below would find whatever listens there.
        if (options.port != 0 && !PortFree(port))
            Raise(kDriverError, errorSource,
                  QStringLiteral("Cannot start %1: port %2 is in use.")
                      .arg(options.program)
                      .arg(port));

        // Each server gets its own local socket, so that several can run.
        const QString socketPath =
            QDir(runtimeDir).filePath(QStringLiteral("indiserver-%1-%2").arg(::getpid()).arg(port));
        SpawnRequest request;
        request.program = options.program.toLocal8Bit();
        request.args = {"-p", QByteArray::number(port), "-u", QFile::encodeName(socketPath)};
        for (const QString& d : options.drivers) request.args.append(d.toLocal8Bit());
        request.env = Environment(options.home);
        if (!options.logFile.isEmpty()) request.outputPath = QFile::encodeName(options.logFile);
        int err = 0;
        const pid_t pid = SpawnTiedToProcess(request, &err);
        if (pid < 0)
            Raise(kDriverError, errorSource,
                  QStringLiteral("Cannot start %1: %2.")
                      .arg(options.program, QString::fromLocal8Bit(std::strerror(err))));

        std::unique_ptr<IndiServer> server(new IndiServer(pid, port, socketPath));
        QString why;
        server->record_ = ServerRecord::Create(runtimeDir, pid, socketPath, &why);
        if (!server->record_)
            std::fprintf(stderr,
                         "celaris: the INDI server on port %d is not recorded in %s (%s); "
                         "should Celaris crash, it will not be found again.\n",
                         port, qPrintable(runtimeDir), qPrintable(why));
        const auto deadline = std::chrono::steady_clock::now() + options.readyTimeout;
        while (std::chrono::steady_clock::now() < deadline) {
            if (!server->Running()) break;
            IndiClient probe(QStringLiteral("127.0.0.1"), port);
            if (probe.Open(std::chrono::milliseconds(200), nullptr)) return server;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        lastError = server->Running()
                        ? QStringLiteral("%1 did not accept connections on port %2 within %3 s.")
                              .arg(options.program)
                              .arg(port)
                              .arg(options.readyTimeout.count() / 1000.0)
                        : QStringLiteral("%1 ended before it accepted connections on port %2.")
                              .arg(options.program)
                              .arg(port);
        server->Stop();
    }
    Raise(kDriverError, errorSource, lastError);
}

IndiServer::~IndiServer() {
    Stop();
}

bool IndiServer::Reap(bool block) {
    if (reaped_) return true;
    int status = 0;
    const pid_t r = ::waitpid(pid_, &status, block ? 0 : WNOHANG);
    if (r == pid_ || (r < 0 && errno == ECHILD)) reaped_ = true;
    return reaped_;
}

bool IndiServer::Running() {
    return !Reap(false);
}

void IndiServer::Stop() {
    if (pid_ <= 0) return;
    // The group outlives a server that was killed alone; its drivers are
    // still in it.
    ::kill(-pid_, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (!Reap(false) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ::kill(-pid_, SIGKILL);
    Reap(true);
    pid_ = -1;
    QFile::remove(socketPath_);
    record_.reset();
}

}  // namespace celaris::indi
