#include "worker_pool.h"

namespace celaris::alpaca {

WorkerPool::WorkerPool(size_t maxThreads, std::chrono::milliseconds idleTime)
    : maxThreads_(maxThreads < 1 ? 1 : maxThreads), idleTime_(idleTime) {}

WorkerPool::~WorkerPool() {
    Stop();
}

void WorkerPool::Submit(std::function<void()> job) {
    JoinRetired();
    std::lock_guard lock(mutex_);
    if (stopping_) return;
    jobs_.push_back(std::move(job));
    // Idle threads take the queued jobs first; one more is started for
    // each job no idle thread is left for.
    if (jobs_.size() > idle_ && threads_.size() - retired_.size() < maxThreads_) {
        threads_.emplace_front();
        const auto self = threads_.begin();
        *self = std::thread([this, self] { Run(self); });
    } else {
        wake_.notify_one();
    }
}

void WorkerPool::Run(std::list<std::thread>::iterator self) {
    std::unique_lock lock(mutex_);
    for (;;) {
        ++idle_;
        const bool woken =
            wake_.wait_for(lock, idleTime_, [this] { return stopping_ || !jobs_.empty(); });
        --idle_;
        if (stopping_) return;
        if (!woken) {
            retired_.push_back(self);
            return;
        }
        std::function<void()> job = std::move(jobs_.front());
        jobs_.pop_front();
        lock.unlock();
        job();
        job = nullptr;
        lock.lock();
    }
}

void WorkerPool::JoinRetired() {
    std::vector<std::thread> done;
    {
        std::lock_guard lock(mutex_);
        for (const auto it : retired_) {
            done.push_back(std::move(*it));
            threads_.erase(it);
        }
        retired_.clear();
    }
    for (std::thread& t : done) t.join();
}

void WorkerPool::Stop() {
    std::list<std::thread> threads;
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        jobs_.clear();
        threads.swap(threads_);
        retired_.clear();
    }
    wake_.notify_all();
    for (std::thread& t : threads)
        if (t.joinable()) t.join();
}

size_t WorkerPool::threadCount() const {
    std::lock_guard lock(mutex_);
    return threads_.size() - retired_.size();
}

}  // namespace celaris::alpaca
