#include "fault_injection.h"

#if defined(TIRVO_FAULT_INJECTION)
#include <atomic>

namespace platform {
namespace {
std::atomic<int> g_remaining[static_cast<int>(FaultOp::Count)] = {};
std::atomic<int> g_locks[static_cast<int>(FaultOp::Count)] = {};
}

void ArmFault(FaultOp op, int n) { g_remaining[static_cast<int>(op)] = n; }

bool FaultNow(FaultOp op) {
    std::atomic<int>& remaining = g_remaining[static_cast<int>(op)];
    int now = remaining.load();
    while (now > 0 && !remaining.compare_exchange_weak(now, now - 1)) {
    }
    return now == 1;
}

int FaultPending(FaultOp op) { return g_remaining[static_cast<int>(op)].load(); }

int ArmLocks(FaultOp op, int n) { return g_locks[static_cast<int>(op)].exchange(n); }

bool LockedNow(FaultOp op) {
    std::atomic<int>& locks = g_locks[static_cast<int>(op)];
    int now = locks.load();
    while (now > 0 && !locks.compare_exchange_weak(now, now - 1)) {
    }
    return now > 0;
}
}  // namespace platform
#endif
