#include "worker_pool.h"

#include <system_error>
#include <thread>

WorkerPool::WorkerPool(unsigned threads) {
    shared_->busy.resize(threads);
    try {
        for (unsigned i = 0; i < threads; ++i)
            threads_.emplace_back([shared = shared_, i]() { Work(*shared, i); });
    } catch (const std::system_error&) {
        // Fewer threads than asked (possibly none): the pool works with what it got.
    }
}

WorkerPool::~WorkerPool() {
    std::deque<Task> dropped;
    std::vector<bool> busy;
    {
        std::lock_guard<threads::Mutex> lock(shared_->mutex);
        shared_->stopping = true;
        dropped.swap(shared_->queue);
        busy = shared_->busy;  // an idle thread takes no job from now on
    }
    shared_->wake.notify_all();
    for (std::size_t i = 0; i < threads_.size(); ++i) {
        if (busy[i]) threads::Detach(threads_[i]);
        else threads_[i].join();
    }
    for (Task& task : dropped) task.hand(false);
}

void WorkerPool::Work(Shared& shared, std::size_t thread) {
    std::unique_lock<threads::Mutex> lock(shared.mutex);
    for (;;) {
        shared.wake.wait(lock, [&]() { return shared.stopping || !shared.queue.empty(); });
        if (shared.stopping) return;
        Task task = std::move(shared.queue.front());
        shared.queue.pop_front();
        shared.busy[thread] = true;
        lock.unlock();
        task.run();
        lock.lock();
        shared.busy[thread] = false;  // before the result is handed: its reader may end the pool
        lock.unlock();
        task.hand(true);
        task = Task();  // what it holds goes before the lock is taken
        lock.lock();
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
