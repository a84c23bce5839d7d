#include "fault_injection.h"

#if defined(TIRVO_FAULT_INJECTION)
namespace platform {
namespace {
int g_remaining[static_cast<int>(FaultOp::Count)] = {};
}

void ArmFault(FaultOp op, int n) { g_remaining[static_cast<int>(op)] = n; }

bool FaultNow(FaultOp op) {
    int& remaining = g_remaining[static_cast<int>(op)];
    if (remaining <= 0) return false;
    return --remaining == 0;
}
}  // namespace platform
#endif
