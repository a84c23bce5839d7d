// A fixed set of worker threads that run compression jobs while the calling
// thread writes the archive in its own, fixed order. Jobs still queued when
// the pool goes are dropped (their futures report a broken promise); jobs
// running are waited for. With no thread available, Submit runs the job at
// once on the caller's thread.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class WorkerPool {
public:
    explicit WorkerPool(unsigned threads);
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    unsigned Threads() const { return static_cast<unsigned>(threads_.size()); }

    template <class Job>
    auto Submit(Job job) -> std::future<decltype(job())> {
        using Result = decltype(job());
        auto task = std::make_shared<std::packaged_task<Result()>>(std::move(job));
        std::future<Result> result = task->get_future();
        if (threads_.empty()) {
            (*task)();
        } else {
            std::lock_guard<std::mutex> lock(mutex_);
            queue_.push_back([task]() { (*task)(); });
            wake_.notify_one();
        }
        return result;
    }

private:
    void Work();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> queue_;
    std::vector<std::thread> threads_;
    bool stopping_ = false;
};

// Threads for compression: one per processor.
unsigned CompressionThreads();
