#include "celaris/drivers/indi/indi_server.h"

#include <QByteArray>
#include <QList>

#include <fcntl.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <thread>

#include "celaris/dispatch/ascom_errors.h"
#include "celaris/drivers/indi/indi_client.h"

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

int FreeLocalPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return 0;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
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
    QString lastError;
    // A port found free can be taken before the server binds it; try again
    // on another.
    for (int attempt = 0; attempt < kStartAttempts; ++attempt) {
        const int port = FreeLocalPort();
        if (port == 0) Raise(kDriverError, errorSource, QStringLiteral("No free local port."));

        // Each server gets its own local socket, so that several can run.
        const QByteArray socketPath =
            QStringLiteral("/tmp/celaris-indiserver-%1-%2").arg(::getpid()).arg(port).toLocal8Bit();
        QList<QByteArray> args = {options.program.toLocal8Bit(), "-p", QByteArray::number(port),
                                  "-u", socketPath};
        for (const QString& d : options.drivers) args.append(d.toLocal8Bit());
        QList<char*> argv;
        for (QByteArray& a : args) argv.append(a.data());
        argv.append(nullptr);
        QList<QByteArray> env = Environment(options.home);
        QList<char*> envp;
        for (QByteArray& e : env) envp.append(e.data());
        envp.append(nullptr);

        posix_spawn_file_actions_t files;
        posix_spawn_file_actions_init(&files);
        const QByteArray log =
            options.logFile.isEmpty() ? QByteArray("/dev/null") : options.logFile.toLocal8Bit();
        posix_spawn_file_actions_addopen(&files, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&files, 1, log.constData(), O_WRONLY | O_CREAT | O_APPEND,
                                         0644);
        posix_spawn_file_actions_adddup2(&files, 1, 2);
        posix_spawnattr_t attr;
        posix_spawnattr_init(&attr);
        // A group of its own: stopping the group stops the drivers too.
        posix_spawnattr_setpgroup(&attr, 0);
        posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
        pid_t pid = -1;
        const int rc = ::posix_spawnp(&pid, argv[0], &files, &attr, argv.data(), envp.data());
        posix_spawnattr_destroy(&attr);
        posix_spawn_file_actions_destroy(&files);
        if (rc != 0)
            Raise(kDriverError, errorSource,
                  QStringLiteral("Cannot start %1: %2.")
                      .arg(options.program, QString::fromLocal8Bit(std::strerror(rc))));

        std::unique_ptr<IndiServer> server(new IndiServer(pid, port));
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
}

}  // namespace celaris::indi
