#include "heartbeat.h"

#include "text_codec.h"

#include <algorithm>
#include <atomic>

namespace {

// Well below the host's bound of 100 ms, so that the last turn of a loop and
// the time the host itself takes fit in too.
std::atomic<std::int64_t> intervalNs{std::chrono::nanoseconds(std::chrono::milliseconds(40)).count()};

}  // namespace

Heartbeat::Heartbeat(ZipPrintFn print, ZipServiceFn service)
    : print_(print), service_(service), due_(Clock::now() + Interval()) {}

Heartbeat::Clock::duration Heartbeat::Interval() {
    return std::chrono::duration_cast<Clock::duration>(std::chrono::nanoseconds(intervalNs.load()));
}

void Heartbeat::SetInterval(Clock::duration interval) {
    intervalNs = std::chrono::duration_cast<std::chrono::nanoseconds>(interval).count();
}

void Heartbeat::Entry(std::string_view utf8Name, std::uint64_t size) {
    entry_ = codec_.Readable(utf8Name);
    size_ = size > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(size);
    Poll(Clock::now() >= due_);
}

void Heartbeat::Pause(Clock::duration duration, bool mayStop) {
    // A wait nobody ends: the engine's own threads library, not the one the
    // standard sleep goes through on Windows.
    threads::Mutex mutex;
    threads::Condition never;
    std::unique_lock<threads::Mutex> lock(mutex);
    Clock::time_point end = Clock::now() + duration;
    for (Clock::time_point now = Clock::now(); now < end; now = Clock::now()) {
        never.wait_until(lock, std::min(end, WaitEnd()), []() { return false; });
        BeatNow(mayStop);
    }
}

void Heartbeat::Poll(bool print, bool mayStop) {
    if (print && print_) print_("", 0);
    bool stop = service_ && service_(entry_.c_str(), size_) != 0;
    // Measured from the return: time the host spends in the callbacks is
    // its own.
    if (print) due_ = Clock::now() + Interval();
    if (stop && mayStop) throw RunStopped();
}
