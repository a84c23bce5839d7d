#include "lock_wait.h"

#include <algorithm>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace {
using Clock = std::chrono::steady_clock;
constexpr std::chrono::milliseconds kFirstPause{10};
}  // namespace

bool MayBeTransientLock(const platform::Error& error) {
#if defined(_WIN32)
    return error.code == ERROR_SHARING_VIOLATION || error.code == ERROR_LOCK_VIOLATION ||
           error.code == ERROR_ACCESS_DENIED;
#else
    return error.kind == platform::ErrorKind::SharingViolation;  // EBUSY, ETXTBSY
#endif
}

bool RetryWhileLocked(const std::function<bool(platform::Error&)>& attempt, platform::Error& error,
                      Heartbeat& heartbeat, Stops stops) {
    const Clock::time_point deadline = Clock::now() + kLockWait;
    Clock::duration pause = kFirstPause;
    for (;;) {
        if (attempt(error)) return true;
        if (!MayBeTransientLock(error) || Clock::now() >= deadline) return false;
        Clock::duration wait = std::min(pause, deadline - Clock::now());
        if (stops == Stops::End) heartbeat.Sleep(wait);
        else heartbeat.SleepRegardless(wait);
        pause *= 2;
    }
}
