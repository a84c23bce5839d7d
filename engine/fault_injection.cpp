#include "fault_injection.h"

#if defined(TIRVO_FAULT_INJECTION)
#include <atomic>

namespace platform {
namespace {
std::atomic<int> g_remaining[static_cast<int>(FaultOp::Count)] = {};
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
}  // namespace platform
#endif
