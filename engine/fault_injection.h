// Fault injection for tests: makes the n-th call of one kind of file
// operation fail, or the n-th thread the engine starts. Compiled in only where TIRVO_FAULT_INJECTION is defined,
// which only the test build of the engine does; the shipped library has no
// counter and no way to reach one.
#pragma once

namespace platform {

enum class FaultOp { Read, Write, Flush, Rename, Delete, Thread, Open, Count };

#if defined(TIRVO_FAULT_INJECTION)
// Arms op to fail on its n-th call from now (1 = the next one); 0 disarms.
void ArmFault(FaultOp op, int n);
// Counts one call of op; true when this call is the one to fail.
bool FaultNow(FaultOp op);
// Calls of op still to come up to and including the one armed to fail; 0 once
// it has failed or when none is armed. Arming a large n and reading this
// after a run tells how many calls the run made.
int FaultPending(FaultOp op);
// Makes the next n calls of op fail as if another program held the file
// (a sharing violation), and the calls after them succeed again. Returns
// how many locks of the last arming were left.
int ArmLocks(FaultOp op, int n);
// Counts one call of op; true when it is to fail with a lock.
bool LockedNow(FaultOp op);
#else
constexpr bool FaultNow(FaultOp) { return false; }
constexpr bool LockedNow(FaultOp) { return false; }
#endif

}  // namespace platform
