// Windows locks a file for a moment after it is written, renamed or scanned:
// virus scanners, search indexers and sync clients open it without sharing.
// An operation that fails so is tried again for about 2 s with a growing
// pause, and the run is asked meanwhile whether to stop: it calls back, so
// the program's window stays alive and its Cancel ends the wait.
#pragma once

#include "platform.h"

#include <chrono>
#include <functional>

// How long an operation is tried before its lock counts as lasting.
constexpr std::chrono::milliseconds kLockWait{2000};

// Asked at least every 50 ms while an operation waits; true ends the wait.
using StopWaiting = std::function<bool()>;

enum class LockWaitResult { Done, Failed, Stopped };

// Whether error may be a lock that goes by itself: a sharing violation, a
// lock violation, or (on Windows) access denied.
bool MayBeTransientLock(const platform::Error& error);

// Tries attempt until it succeeds (Done); until it fails otherwise or still
// fails after kLockWait (Failed, error holds the last failure); or until stop
// asks to end the wait (Stopped, error holds the lock).
LockWaitResult RetryWhileLocked(const std::function<bool(platform::Error&)>& attempt, platform::Error& error,
                                const StopWaiting& stop);
