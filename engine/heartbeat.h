// The run's heartbeat: keeps the host's window alive and lets the user stop
// the run at any moment, not only between entries.
//
// The host's window is serviced only while the engine is inside a callback,
// and its Cancel is read only through ZipService. So every loop of the
// calling thread that may run long (walking, sorting, compressing, copying,
// waiting for workers or for a retry, deleting) calls Beat() at every turn;
// at least every Interval() of wall time that calls ZipPrint with empty text
// and ZipService for the entry at hand. A turn of such a loop must take a
// few milliseconds at most: one 1 MiB chunk, one file, one record. (Reading
// the clock costs more than a turn of the quickest loops, so Beat reads it
// at every fourth turn only; waits read it whenever they wake.)
//
//   heartbeat.Entry(name, size);         // the per-entry poll: always calls back
//   heartbeat.Beat();                    // in a loop: calls back when due
//   T value = heartbeat.Await(result);   // a worker's JobResult, beating while it is made
//   heartbeat.Wait(lock, cv, ready);     // a condition, likewise (unlocked while calling back)
//   heartbeat.Sleep(duration);           // a pause before a retry, likewise
//   heartbeat.SleepRegardless(duration); // likewise, but a stop is not thrown
//   bool ok = heartbeat.Call(function);  // one blocking system call (forcing a file to
//                                        // the disk) on a thread of its own, likewise
//
// A non-zero answer from ZipService throws RunStopped. The run catches it at
// its top and ends exactly as after a cancel between entries: unwinding
// closes and removes the temporary archive and every scratch file, and the
// old archive is never touched before the new one is complete.
//
// Only the thread that runs the request may use a Heartbeat; code that also
// runs on worker threads takes a Heartbeat* that is null there. Worker
// threads never call back.
#pragma once

#include "text_codec.h"
#include "threads.h"
#include "worker_pool.h"
#include "zip32.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

// Thrown by a Heartbeat when the host asks the run to stop.
struct RunStopped {};

class Heartbeat {
public:
    using Clock = std::chrono::steady_clock;

    Heartbeat(ZipPrintFn print, ZipServiceFn service);
    Heartbeat(const Heartbeat&) = delete;
    Heartbeat& operator=(const Heartbeat&) = delete;

    // The entry now at hand (UTF-8 name): ZipService is asked at once (and
    // ZipPrint too when due), and it is named in every poll until the next.
    void Entry(std::string_view utf8Name, std::uint64_t size);
    void Beat() {
        if ((++turns_ & 3) == 0) BeatNow();
    }

    template <class T>
    T Await(JobResult<T>& result) {
        while (!result.wait_until(WaitEnd())) BeatNow();
        return result.get();
    }

    template <class Ready>
    void Wait(std::unique_lock<threads::Mutex>& lock, threads::Condition& cv, Ready ready) {
        while (!cv.wait_until(lock, WaitEnd(), ready)) {
            lock.unlock();
            BeatNow();
            lock.lock();
        }
    }

    void Sleep(Clock::duration duration) { Pause(duration, true); }
    // For what must be finished whatever the host answers (removing a
    // temporary file, also while a stop unwinds the run).
    void SleepRegardless(Clock::duration duration) { Pause(duration, false); }

    // A stop asked meanwhile is thrown once the call has returned: what it
    // works on must not go before it ends.
    template <class Function>
    auto Call(Function function) -> decltype(function()) {
        WorkerPool beside(1);
        auto result = beside.Submit(std::move(function));
        while (!result.wait_until(WaitEnd())) {
            try {
                BeatNow();
            } catch (const RunStopped&) {
                result.get();
                throw;
            }
        }
        return result.get();
    }

    // The longest time between two polls when the loops keep their turns
    // short (tests may shorten it: zero polls at every turn).
    static Clock::duration Interval();
    static void SetInterval(Clock::duration interval);

private:
    void BeatNow(bool mayStop = true) {
        if (Clock::now() >= due_) Poll(true, mayStop);
    }
    void Poll(bool print, bool mayStop = true);
    void Pause(Clock::duration duration, bool mayStop);
    // Waits end at the next poll, and take a millisecond at least.
    Clock::time_point WaitEnd() const { return std::max(due_, Clock::now() + std::chrono::milliseconds(1)); }

    ZipPrintFn print_;
    ZipServiceFn service_;
    text::Cp932Codec codec_;
    std::string entry_;  // code page 932
    std::uint32_t size_ = 0;
    Clock::time_point due_;
    unsigned turns_ = 0;
};

// For code that runs on the request's thread with a heartbeat and on worker
// threads without one.
inline void Beat(Heartbeat* heartbeat) {
    if (heartbeat) heartbeat->Beat();
}
