#include "worker_pool.h"

#include <system_error>
#include <thread>

WorkerPool::WorkerPool(unsigned threads) {
    try {
        for (unsigned i = 0; i < threads; ++i) threads_.emplace_back([this]() { Work(); });
    } catch (const std::system_error&) {
        // Fewer threads than asked (possibly none): the pool works with what it got.
    }
}

WorkerPool::~WorkerPool() {
    std::deque<std::function<void(bool)>> dropped;
    {
        std::lock_guard<threads::Mutex> lock(mutex_);
        stopping_ = true;
        dropped.swap(queue_);
    }
    wake_.notify_all();
    for (threads::Thread& t : threads_) t.join();
    for (auto& job : dropped) job(false);
}

void WorkerPool::Work() {
    for (;;) {
        std::function<void(bool)> job;
        {
            std::unique_lock<threads::Mutex> lock(mutex_);
            wake_.wait(lock, [this]() { return stopping_ || !queue_.empty(); });
            if (stopping_) return;
            job = std::move(queue_.front());
            queue_.pop_front();
        }
        job(true);
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
