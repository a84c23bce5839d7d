// One run of the archive engine ZIP32.DLL on a built request.
#pragma once

#include "zip32.h"

// RunZip's own failures, before the engine runs. Any other result is the
// engine's status from ZpArchive (ZipStatus, 0 on success).
enum RunZipResult : int {
    RZ_ALLOC_FAILED = -11,   // allocating the callbacks record
    RZ_LOCK_FAILED = -12,    // locking it
    RZ_LOAD_FAILED = -13,    // loading ZIP32.DLL
    RZ_ENTRY_MISSING = -14,  // one of the four entry points is missing
    RZ_BAD_VERSION = -15,    // the interface version is not 2.3
    RZ_INIT_FAILED = -16,    // ZpInit refused the callbacks
};

// Loads the engine, checks it, registers the callbacks, runs it on the
// request between OpenProgress and FinishProgress, and releases it again.
// Borrows its arguments; changes and frees none of them.
int RunZip(int count, const char* archive, char** names, ZipOptions* options);
