// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/WorkerPool.h"

#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <new>

namespace oru {

WorkerPool::WorkerPool(unsigned threads) {
    threads_.reserve(threads);
    for (unsigned i = 0; i < threads; ++i) threads_.emplace_back([this] { work(); });
}

WorkerPool::~WorkerPool() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    for (auto& t : threads_) t.join();
}

void WorkerPool::submit(std::function<void()> job) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        jobs_.push_back(std::move(job));
    }
    wake_.notify_one();
}

namespace {
thread_local bool isWorker = false;
}  // namespace

bool WorkerPool::onWorkerThread() { return isWorker; }

void WorkerPool::work() {
    isWorker = true;
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait(lock, [&] { return stopping_ || !jobs_.empty(); });
            if (jobs_.empty()) return;
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
        job();
    }
}

unsigned WorkerPool::cores() {
    // Asked once: the C library reads it from a file each time.
    static const unsigned n = std::max(1u, std::thread::hardware_concurrency());
    return n;
}

namespace {
std::atomic<WorkerPool*> sharedPool{nullptr};
std::mutex sharedPoolMutex;
}  // namespace

WorkerPool& WorkerPool::shared() {
    if (WorkerPool* pool = sharedPool.load()) return *pool;
    std::lock_guard<std::mutex> lock(sharedPoolMutex);
    if (!sharedPool.load()) {
        static const bool registered = [] {
            // A child of fork has none of the pool's threads (and its lock may be held by one
            // that is gone): it makes a pool of its own on first use.
            ::pthread_atfork(nullptr, nullptr, [] { sharedPool.store(nullptr); new (&sharedPoolMutex) std::mutex; });
            return true;
        }();
        (void)registered;
        // Never destroyed: jobs of a pool torn down at exit could still be running for a thread
        // that is itself being torn down.
        sharedPool.store(new WorkerPool(cores()));
    }
    return *sharedPool.load();
}

}  // namespace oru
