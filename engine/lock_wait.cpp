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
                      Heartbeat& heartbeat, Stops stops,
                      const std::function<bool(const platform::Error&)>& mayPass) {
    const Clock::time_point deadline = Clock::now() + kLockWait;
    Clock::duration pause = kFirstPause;
    for (;;) {
        if (attempt(error)) return true;
        if (!mayPass(error) || Clock::now() >= deadline) return false;
        Clock::duration wait = std::min(pause, deadline - Clock::now());
        if (stops == Stops::End) heartbeat.Sleep(wait);
        else heartbeat.SleepRegardless(wait);
        pause *= 2;
    }
}

bool InputOpener::Open(const std::function<bool(platform::Error&)>& attempt, platform::Error& error) {
    auto mayPass = [this](const platform::Error& e) {
        return MayBeTransientLock(e) && !(denialsLast_ && e.kind == platform::ErrorKind::AccessDenied);
    };
    if (RetryWhileLocked(attempt, error, heartbeat_, Stops::End, mayPass)) return true;
    if (error.kind == platform::ErrorKind::AccessDenied) denialsLast_ = true;
    return false;
}
