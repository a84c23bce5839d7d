// The engine's threads, locks and wake-ups, with the names and members of
// their standard counterparts (lock/unlock, wait/notify, join), so that
// std::lock_guard and std::unique_lock work with them.
//
// Natively they are the standard ones. On Windows they are the system's own
// (CreateThread, slim reader/writer locks, condition variables): the
// standard ones go through the POSIX threads library linked into the DLL,
// which keeps a thread-local slot and a record per thread that it never gives
// back when the DLL is unloaded, and the program loads and frees the engine
// on every drop. Nothing here allocates per thread beyond the thread itself.
#pragma once

#if defined(_WIN32)
#include <chrono>
#include <functional>
#include <mutex>  // std::unique_lock only
#else
#include <condition_variable>
#include <mutex>
#include <thread>
#endif

namespace threads {

#if defined(_WIN32)

class Mutex {
public:
    Mutex() = default;
    Mutex(const Mutex&) = delete;
    Mutex& operator=(const Mutex&) = delete;
    void lock();
    void unlock();

private:
    friend class Condition;
    void* lock_ = nullptr;  // an SRWLOCK
};

class Condition {
public:
    Condition() = default;
    Condition(const Condition&) = delete;
    Condition& operator=(const Condition&) = delete;
    void wait(std::unique_lock<Mutex>& lock);
    template <class Predicate>
    void wait(std::unique_lock<Mutex>& lock, Predicate ready) {
        while (!ready()) wait(lock);
    }
    // False when the time came first.
    template <class Clock, class Duration, class Predicate>
    bool wait_until(std::unique_lock<Mutex>& lock, const std::chrono::time_point<Clock, Duration>& until,
                    Predicate ready) {
        while (!ready()) {
            auto left = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now());
            if (left.count() <= 0) return ready();
            wait_for_ms(lock, static_cast<unsigned long>(left.count()));
        }
        return true;
    }
    void notify_one();
    void notify_all();

private:
    void wait_for_ms(std::unique_lock<Mutex>& lock, unsigned long milliseconds);
    void* condition_ = nullptr;  // a CONDITION_VARIABLE
};

// Runs body on a new thread; throws std::system_error when none can be made.
// Going away, it waits for the thread unless join or detach came first.
class Thread {
public:
    explicit Thread(std::function<void()> body);
    ~Thread();
    Thread(Thread&& other) noexcept;
    Thread& operator=(Thread&& other) noexcept;
    void join();
    void detach();

private:
    void* handle_ = nullptr;
};

#else

using Mutex = std::mutex;
using Condition = std::condition_variable;
using Thread = std::thread;

#endif

// Lets a thread run on alone, to finish what it is doing after the engine's
// call has returned. The program may free the engine meanwhile, so the
// engine's code then stays loaded for the rest of the process.
void Detach(Thread& thread);

}  // namespace threads
