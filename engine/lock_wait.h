// Windows locks a file for a moment after it is written, renamed or scanned:
// virus scanners, search indexers and sync clients open it without sharing.
// An operation that fails so is tried again for about 2 s with a growing
// pause, and the pauses go through the run's heartbeat: the program's window
// stays alive, and its Cancel ends the wait (RunStopped).
#pragma once

#include "heartbeat.h"
#include "platform.h"

#include <chrono>
#include <functional>

// How long an operation is tried before its lock counts as lasting.
constexpr std::chrono::milliseconds kLockWait{2000};

// Whether error may be a lock that goes by itself: a sharing violation, a
// lock violation, or (on Windows) access denied.
bool MayBeTransientLock(const platform::Error& error);

// Tries attempt until it succeeds (true), or until it fails otherwise or
// still fails after kLockWait (false; error holds the last failure).
// Pausing beats heartbeat, which throws RunStopped when the run is to stop;
// with Stops::Ignored the wait goes on whatever the answer (for what must
// be finished, such as removing a temporary file).
enum class Stops { End, Ignored };
bool RetryWhileLocked(const std::function<bool(platform::Error&)>& attempt, platform::Error& error,
                      Heartbeat& heartbeat, Stops stops = Stops::End,
                      const std::function<bool(const platform::Error&)>& mayPass = MayBeTransientLock);

// Opens the run's inputs. An input that is denied access is mostly one the
// user may not read, and only at times one held for a moment: the run waits
// for denied inputs until one such wait has come to nothing, then leaves
// denied inputs out at once (a folder of protected files would otherwise
// cost every file its wait). Sharing and lock violations are always waited for.
class InputOpener {
public:
    explicit InputOpener(Heartbeat& heartbeat) : heartbeat_(heartbeat) {}
    bool Open(const std::function<bool(platform::Error&)>& attempt, platform::Error& error);

private:
    Heartbeat& heartbeat_;
    bool denialsLast_ = false;
};
