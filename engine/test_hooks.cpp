// Built only into the fault-injection test library, never into ZIP32.DLL:
// lets a test make the n-th read, write, flush, rename, delete or thread
// start fail, and count the calls of each, make opens, renames and deletes
// meet a lock, and make the heartbeat poll at every turn.
#include "fault_injection.h"
#include "heartbeat.h"
#include "record_store.h"

extern "C" __attribute__((visibility("default"))) void ZpTestArmFault(int op, int n) {
    if (op >= 0 && op < static_cast<int>(platform::FaultOp::Count)) platform::ArmFault(static_cast<platform::FaultOp>(op), n);
}

extern "C" __attribute__((visibility("default"))) int ZpTestFaultPending(int op) {
    if (op < 0 || op >= static_cast<int>(platform::FaultOp::Count)) return 0;
    return platform::FaultPending(static_cast<platform::FaultOp>(op));
}

extern "C" __attribute__((visibility("default"))) int ZpTestArmLocks(int op, int n) {
    if (op < 0 || op >= static_cast<int>(platform::FaultOp::Count)) return 0;
    return platform::ArmLocks(static_cast<platform::FaultOp>(op), n);
}

// Bytes of records each of the run's stores keeps in memory before it
// spills to a scratch file: small, so that small runs spill too.
extern "C" __attribute__((visibility("default"))) void ZpTestSetRecordBudget(unsigned bytes) { SetRecordBudget(bytes); }

// Milliseconds between the heartbeat's polls; 0 polls at every turn of every
// long loop, so that a test can stop a run at each of those moments.
extern "C" __attribute__((visibility("default"))) void ZpTestSetHeartbeatInterval(unsigned milliseconds) {
    Heartbeat::SetInterval(std::chrono::milliseconds(milliseconds));
}
