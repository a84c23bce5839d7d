// Built only into the fault-injection test library, never into ZIP32.DLL:
// lets a test make the n-th read, write, flush, rename or delete fail.
#include "fault_injection.h"

extern "C" __attribute__((visibility("default"))) void ZpTestArmFault(int op, int n) {
    if (op >= 0 && op < static_cast<int>(platform::FaultOp::Count)) platform::ArmFault(static_cast<platform::FaultOp>(op), n);
}
