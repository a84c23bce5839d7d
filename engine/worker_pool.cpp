#include "worker_pool.h"

#include <system_error>

WorkerPool::WorkerPool(unsigned threads) {
    try {
        for (unsigned i = 0; i < threads; ++i) threads_.emplace_back([this]() { Work(); });
    } catch (const std::system_error&) {
        // Fewer threads than asked (possibly none): the pool works with what it got.
    }
}

WorkerPool::~WorkerPool() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        queue_.clear();
    }
    wake_.notify_all();
    for (std::thread& t : threads_) t.join();
}

void WorkerPool::Work() {
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait(lock, [this]() { return stopping_ || !queue_.empty(); });
            if (stopping_) return;
            job = std::move(queue_.front());
            queue_.pop_front();
        }
        job();
    }
}

unsigned CompressionThreads() {
#if defined(TIRVO_FAULT_INJECTION)
    return 0;  // the n-th file operation must be the same one in every run
#else
    unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? 1 : n;
#endif
}
