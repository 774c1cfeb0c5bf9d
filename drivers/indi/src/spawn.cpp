#include "spawn.h"

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <thread>

namespace celaris::indi {

namespace {

// The thread every fork runs on. Never stopped and never destroyed: it must
// outlive every child, so its state is left to the end of the process.
class ForkThread {
  public:
    static ForkThread& Instance() {
        static ForkThread* instance = new ForkThread;
        return *instance;
    }

    template <typename Fn>
    auto Run(Fn&& fn) -> decltype(fn()) {
        std::packaged_task<decltype(fn())()> task(std::forward<Fn>(fn));
        auto result = task.get_future();
        {
            std::lock_guard lock(mutex_);
            jobs_.emplace_back([&task] { task(); });
        }
        wake_.notify_one();
        return result.get();
    }

  private:
    ForkThread() {
        std::thread([this] { Loop(); }).detach();
    }

    void Loop() {
        for (;;) {
            std::function<void()> job;
            {
                std::unique_lock lock(mutex_);
                wake_.wait(lock, [this] { return !jobs_.empty(); });
                job = std::move(jobs_.front());
                jobs_.pop_front();
            }
            job();
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> jobs_;
};

bool Executable(const QByteArray& path) {
    struct stat st {};
    return ::stat(path.constData(), &st) == 0 && S_ISREG(st.st_mode) &&
           ::access(path.constData(), X_OK) == 0;
}

// The path execve needs; looked up before the fork, where lookups may
// allocate.
QByteArray Resolve(const QByteArray& program) {
    if (program.contains('/')) return program;
    const QByteArray path =
        qgetenv("PATH").isEmpty() ? QByteArray("/usr/bin:/bin") : qgetenv("PATH");
    for (const QByteArray& dir : path.split(':')) {
        const QByteArray candidate = (dir.isEmpty() ? QByteArray(".") : dir) + '/' + program;
        if (Executable(candidate)) return candidate;
    }
    return {};
}

pid_t ForkAndExec(const QByteArray& path, QList<QByteArray> args, QList<QByteArray> env,
                  const QByteArray& output, int* error) {
    QList<char*> argv;
    for (QByteArray& a : args) argv.append(a.data());
    argv.append(nullptr);
    QList<char*> envp;
    for (QByteArray& e : env) envp.append(e.data());
    envp.append(nullptr);

    // The child reports a failed exec through this pipe; a successful exec
    // closes it.
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) {
        *error = errno;
        return -1;
    }
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid < 0) {
        *error = errno;
        ::close(report[0]);
        ::close(report[1]);
        return -1;
    }
    if (pid == 0) {
        // Only async-signal-safe calls from here to the exec.
        ::setpgid(0, 0);
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        // The parent may have died before the signal was armed.
        if (::getppid() != parent) ::_exit(127);
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        const int in = ::open("/dev/null", O_RDONLY);
        const int out = ::open(output.constData(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (in >= 0) ::dup2(in, 0);
        if (out >= 0) {
            ::dup2(out, 1);
            ::dup2(out, 2);
        }
        ::execve(path.constData(), argv.data(), envp.data());
        const int err = errno;
        [[maybe_unused]] const auto n = ::write(report[1], &err, sizeof err);
        ::_exit(127);
    }
    // Also here, so that the group exists whichever side runs first.
    ::setpgid(pid, pid);
    ::close(report[1]);
    int childError = 0;
    ssize_t n;
    do {
        n = ::read(report[0], &childError, sizeof childError);
    } while (n < 0 && errno == EINTR);
    ::close(report[0]);
    if (n == sizeof childError) {
        *error = childError;
        return -pid;  // the caller reaps it
    }
    return pid;
}

}  // namespace

pid_t SpawnTiedToProcess(const SpawnRequest& request, int* error) {
    const QByteArray path = Resolve(request.program);
    if (path.isEmpty()) {
        *error = ENOENT;
        return -1;
    }
    QList<QByteArray> args = {request.program};
    args.append(request.args);
    int err = 0;
    const pid_t pid = ForkThread::Instance().Run(
        [&] { return ForkAndExec(path, args, request.env, request.outputPath, &err); });
    if (pid < -1) {
        // The exec failed; the child has ended already.
        ::waitpid(-pid, nullptr, 0);
        *error = err;
        return -1;
    }
    if (pid < 0) *error = err;
    return pid;
}

}  // namespace celaris::indi
