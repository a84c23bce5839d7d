// A fixed set of worker threads that run compression jobs while the calling
// thread writes the archive in its own, fixed order. Jobs still queued when
// the pool goes are dropped (their results report a broken promise). A job
// running then is not waited for, since one deflate call may take a second:
// its thread finishes it alone and ends, so a job owns or shares all it
// uses, and a long one may end early once Stopping() says so. With no thread
// available, Submit runs the job at once on the caller's thread.
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

        // Keeps what the job gives; Hand then gives it to get().
        template <class Job>
        void Run(Job& job) {
            try {
                value.emplace(job());
            } catch (...) {
                failure = std::current_exception();
            }
        }
        void Hand(bool ran) {
            if (!ran) failure = std::make_exception_ptr(std::future_error(std::future_errc::broken_promise));
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
    // True once the pool is going: a long job may give up. A job may keep
    // it, also beyond the pool.
    std::shared_ptr<const std::atomic<bool>> Stopping() const { return {shared_, &shared_->stopping}; }

    template <class Job>
    auto Submit(Job job) -> JobResult<decltype(job())> {
        JobResult<decltype(job())> result;
        if (threads_.empty()) {
            result.state_->Run(job);
            result.state_->Hand(true);
        } else {
            std::lock_guard<threads::Mutex> lock(shared_->mutex);
            shared_->queue.push_back({[state = result.state_, job = std::move(job)]() mutable { state->Run(job); },
                                      [state = result.state_](bool ran) { state->Hand(ran); }});
            shared_->wake.notify_one();
        }
        return result;
    }

private:
    struct Task {
        std::function<void()> run;
        std::function<void(bool ran)> hand;  // false when dropped unrun
    };
    // What the threads share with the pool, and keep when it goes first.
    struct Shared {
        threads::Mutex mutex;
        threads::Condition wake;
        std::deque<Task> queue;
        std::vector<bool> busy;  // by thread: running a job whose result is not handed over yet
        std::atomic<bool> stopping = false;
    };
    static void Work(Shared& shared, std::size_t thread);

    std::shared_ptr<Shared> shared_ = std::make_shared<Shared>();
    std::vector<threads::Thread> threads_;
};

// Threads for compression: one per processor.
unsigned CompressionThreads();
