#include "lock_wait.h"

#include <algorithm>
#include <thread>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace {
using Clock = std::chrono::steady_clock;
constexpr std::chrono::milliseconds kFirstPause{10};
constexpr std::chrono::milliseconds kSlice{50};
}  // namespace

bool MayBeTransientLock(const platform::Error& error) {
#if defined(_WIN32)
    return error.code == ERROR_SHARING_VIOLATION || error.code == ERROR_LOCK_VIOLATION ||
           error.code == ERROR_ACCESS_DENIED;
#else
    return error.kind == platform::ErrorKind::SharingViolation;  // EBUSY, ETXTBSY
#endif
}

LockWaitResult RetryWhileLocked(const std::function<bool(platform::Error&)>& attempt, platform::Error& error,
                                const StopWaiting& stop) {
    const Clock::time_point deadline = Clock::now() + kLockWait;
    Clock::duration pause = kFirstPause;
    for (;;) {
        if (attempt(error)) return LockWaitResult::Done;
        if (!MayBeTransientLock(error) || Clock::now() >= deadline) return LockWaitResult::Failed;
        const Clock::time_point until = std::min(Clock::now() + pause, deadline);
        for (Clock::time_point now = Clock::now(); now < until; now = Clock::now()) {
            if (stop && stop()) return LockWaitResult::Stopped;
            std::this_thread::sleep_for(std::min<Clock::duration>(kSlice, until - now));
        }
        pause *= 2;
    }
}
