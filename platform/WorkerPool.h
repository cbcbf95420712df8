// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Worker threads for work that can run beside the one thread that drives an operation:
// compressing the chunks of a big file, reading and compressing small files ahead of writing.
// The driving thread keeps every decision (order, progress, cancel, writing); workers only
// compute results it takes back in order.

#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace oru {

// A fixed set of threads running jobs in the order they were submitted.
class WorkerPool {
public:
    explicit WorkerPool(unsigned threads);
    // Runs the jobs still queued, then joins the threads.
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    // job must not throw (OrderedJobs catches for its jobs).
    void submit(std::function<void()> job);
    unsigned size() const { return static_cast<unsigned>(threads_.size()); }

    // The pool the engine shares: one thread per core, made on first use.
    static WorkerPool& shared();
    // The number of cores (at least 1).
    static unsigned cores();
    // Whether the calling thread is a worker of some pool. A job must never wait for other jobs
    // of the pool it runs on (they could be queued behind it): it does such work itself.
    static bool onWorkerThread();

private:
    void work();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> jobs_;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

// Jobs run on a pool whose results the submitting thread takes back in the order it submitted
// them. A job's exception is rethrown by the take() of its result. Without a pool each job runs
// at once on the submitting thread, which gives the same results in the same order.
// The destructor waits for the jobs still running, so whatever they use may be released after it.
template <class Result>
class OrderedJobs {
public:
    explicit OrderedJobs(WorkerPool* pool) : pool_(pool) {}
    ~OrderedJobs() {
        std::unique_lock<std::mutex> lock(shared_->mutex);
        for (const auto& entry : queue_) shared_->done.wait(lock, [&] { return entry->finished; });
    }
    OrderedJobs(const OrderedJobs&) = delete;
    OrderedJobs& operator=(const OrderedJobs&) = delete;

    void submit(std::function<Result()> job) {
        auto entry = std::make_shared<Entry>();
        queue_.push_back(entry);
        if (!pool_) {
            run(*entry, job);
            entry->finished = true;
            return;
        }
        pool_->submit([entry, shared = shared_, job = std::move(job)] {
            Entry outcome;
            run(outcome, job);
            {
                std::lock_guard<std::mutex> lock(shared->mutex);
                entry->result = std::move(outcome.result);
                entry->error = outcome.error;
                entry->finished = true;
            }
            shared->done.notify_all();
        });
    }
    // Jobs submitted and not yet taken.
    size_t pending() const { return queue_.size(); }
    // Whether the oldest pending job has finished (take() would not wait).
    bool ready() const {
        if (queue_.empty()) return false;
        std::lock_guard<std::mutex> lock(shared_->mutex);
        return queue_.front()->finished;
    }
    // The oldest pending job's result, once it has finished; rethrows what it threw.
    // There must be a pending job.
    Result take() {
        std::shared_ptr<Entry> entry = queue_.front();
        {
            std::unique_lock<std::mutex> lock(shared_->mutex);
            shared_->done.wait(lock, [&] { return entry->finished; });
        }
        queue_.pop_front();
        if (entry->error) std::rethrow_exception(entry->error);
        return std::move(*entry->result);
    }

private:
    struct Entry {
        std::optional<Result> result;
        std::exception_ptr error;
        bool finished = false;
    };
    struct Shared {
        std::mutex mutex;
        std::condition_variable done;
    };
    static void run(Entry& entry, const std::function<Result()>& job) {
        try {
            entry.result.emplace(job());
        } catch (...) {
            entry.error = std::current_exception();
        }
    }

    WorkerPool* pool_;
    std::shared_ptr<Shared> shared_ = std::make_shared<Shared>();
    std::deque<std::shared_ptr<Entry>> queue_;
};

}  // namespace oru
