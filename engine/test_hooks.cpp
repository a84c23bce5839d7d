// Built only into the fault-injection test library, never into ZIP32.DLL:
// lets a test make the n-th read, write, flush, rename or delete fail, and
// count the calls of each.
#include "fault_injection.h"

extern "C" __attribute__((visibility("default"))) void ZpTestArmFault(int op, int n) {
    if (op >= 0 && op < static_cast<int>(platform::FaultOp::Count)) platform::ArmFault(static_cast<platform::FaultOp>(op), n);
}

extern "C" __attribute__((visibility("default"))) int ZpTestFaultPending(int op) {
    if (op < 0 || op >= static_cast<int>(platform::FaultOp::Count)) return 0;
    return platform::FaultPending(static_cast<platform::FaultOp>(op));
}
