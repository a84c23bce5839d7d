// A fixed set of worker threads that run compression jobs while the calling
// thread writes the archive in its own, fixed order. Jobs still queued when
// the pool goes are dropped (their results report a broken promise); jobs
// running are waited for, and may end early once Stopping() says so (their
// results are never read then). With no thread available, Submit runs the
// job at once on the caller's thread.
#pragma once

#include "threads.h"

#include <atomic>
#include <deque>
#include <exception>
#include <functional>
#include <future>  // std::future_error only
#include <memory>
#include <optional>
#include <vector>

// What a submitted job gives back: get() waits for the job, then returns
// what it returned or throws what it threw.
template <class T>
class JobResult {
public:
    T get() {
        std::unique_lock<threads::Mutex> lock(state_->mutex);
        state_->finished.wait(lock, [this]() { return state_->done; });
        if (state_->failure) std::rethrow_exception(state_->failure);
        return std::move(*state_->value);
    }
    // Waits at most until then; true once the job is done.
    template <class TimePoint>
    bool wait_until(const TimePoint& until) {
        std::unique_lock<threads::Mutex> lock(state_->mutex);
        return state_->finished.wait_until(lock, until, [this]() { return state_->done; });
    }

private:
    friend class WorkerPool;
    struct State {
        threads::Mutex mutex;
        threads::Condition finished;
        bool done = false;
        std::optional<T> value;
        std::exception_ptr failure;

        template <class Job>
        void Run(Job& job) {
            try {
                value.emplace(job());
            } catch (...) {
                failure = std::current_exception();
            }
            Finish();
        }
        void Drop() {
            failure = std::make_exception_ptr(std::future_error(std::future_errc::broken_promise));
            Finish();
        }
        void Finish() {
            std::lock_guard<threads::Mutex> lock(mutex);
            done = true;
            finished.notify_all();
        }
    };
    std::shared_ptr<State> state_ = std::make_shared<State>();
};

class WorkerPool {
public:
    explicit WorkerPool(unsigned threads);
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    unsigned Threads() const { return static_cast<unsigned>(threads_.size()); }
    // True once the pool is going: a long job may give up.
    bool Stopping() const { return stopping_; }

    template <class Job>
    auto Submit(Job job) -> JobResult<decltype(job())> {
        JobResult<decltype(job())> result;
        if (threads_.empty()) {
            result.state_->Run(job);
        } else {
            std::lock_guard<threads::Mutex> lock(mutex_);
            queue_.push_back([state = result.state_, job = std::move(job)](bool run) mutable {
                if (run) state->Run(job);
                else state->Drop();
            });
            wake_.notify_one();
        }
        return result;
    }

private:
    void Work();

    threads::Mutex mutex_;
    threads::Condition wake_;
    std::deque<std::function<void(bool run)>> queue_;  // called with false when dropped
    std::vector<threads::Thread> threads_;
    std::atomic<bool> stopping_ = false;
};

// Threads for compression: one per processor.
unsigned CompressionThreads();
