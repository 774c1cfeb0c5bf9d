// Threads for jobs that may block for long (a request that waits for the
// hub, or for a synchronous slew to end): a thread is started whenever a
// job would otherwise wait, up to a cap, and a thread left without work
// for the idle time ends. A few blocked jobs therefore never hold up the
// next one.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <list>
#include <mutex>
#include <thread>
#include <vector>

namespace celaris::alpaca {

class WorkerPool {
  public:
    WorkerPool(size_t maxThreads, std::chrono::milliseconds idleTime);
    // Stop().
    ~WorkerPool();

    // Runs job on a free thread, a new one while under the cap, else as
    // soon as a thread is free. Ignored once stopped.
    void Submit(std::function<void()> job);
    // Drops the jobs not yet started and waits for the running ones.
    void Stop();

    size_t threadCount() const;

  private:
    void Run(std::list<std::thread>::iterator self);
    void JoinRetired();

    const size_t maxThreads_;
    const std::chrono::milliseconds idleTime_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> jobs_;
    std::list<std::thread> threads_;
    std::vector<std::list<std::thread>::iterator> retired_;
    size_t idle_ = 0;
    bool stopping_ = false;
};

}  // namespace celaris::alpaca
