// What the DLL gives back when it is unloaded. The program loads and frees
// the engine on every drop, so what the statically linked C++ runtime keeps
// for the life of a process must go with the DLL:
// - its emergency pool for exceptions, 73 KiB taken when the DLL is loaded;
// - each thread's exception state (the exceptions caught and not finished,
//   the count of those thrown and not caught). The runtime would keep it in
//   emulated thread-local storage, which goes through the POSIX threads
//   library: the first exception of every load would take a thread-local
//   slot and records that are never given back. The two functions that hand
//   the state out are defined here instead, with a slot of the DLL's own,
//   taken at load and given back at unload, and each thread's state freed
//   when the thread or the DLL goes.
#include <windows.h>

#include <exception>

namespace __gnu_cxx {
void __freeres() noexcept;
}

#if defined(__i386__)
extern "C" PIMAGE_TLS_CALLBACK __xl_f;  // the POSIX threads library's callback for thread events
#endif

namespace {

struct ExceptionState {
    void* caughtExceptions;  // the runtime's part: these two fields first
    unsigned int uncaughtExceptions;
    ExceptionState* next;    // every thread's state, to free at unload
};

DWORD g_slot = TLS_OUT_OF_INDEXES;
SRWLOCK g_lock = SRWLOCK_INIT;
ExceptionState* g_states = nullptr;

void FreeState(ExceptionState* state) {
    AcquireSRWLockExclusive(&g_lock);
    for (ExceptionState** link = &g_states; *link; link = &(*link)->next)
        if (*link == state) {
            *link = state->next;
            break;
        }
    ReleaseSRWLockExclusive(&g_lock);
    HeapFree(GetProcessHeap(), 0, state);
}

#if defined(__i386__)
// 32 bits only: the unwinder registers the DLL's frame tables when it is
// loaded, under a lock whose one-time set-up goes through the POSIX threads
// library, which then keeps a record of the loading thread (two handles) in
// a thread-local slot of its own. Its callback, told that this thread ends,
// closes the handles and clears the slot: the slot this thread had a value
// in before and not after is that one, and is given back. The record itself
// (about 200 bytes) stays in the library's list of free records.
void ReleaseThreadRecord(HINSTANCE module) {
    constexpr DWORD kSlots = 1088;
    bool held[kSlots];
    for (DWORD slot = 0; slot < kSlots; ++slot) held[slot] = TlsGetValue(slot) != nullptr;
    __xl_f(module, DLL_THREAD_DETACH, nullptr);
    for (DWORD slot = 0; slot < kSlots; ++slot)
        if (held[slot] && !TlsGetValue(slot)) TlsFree(slot);
}
#endif

}  // namespace

extern "C" void* __cxa_get_globals() noexcept {
    const DWORD lastError = GetLastError();
    auto* state = static_cast<ExceptionState*>(TlsGetValue(g_slot));
    if (!state) {
        state = static_cast<ExceptionState*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(ExceptionState)));
        if (!state) std::terminate();
        AcquireSRWLockExclusive(&g_lock);
        state->next = g_states;
        g_states = state;
        ReleaseSRWLockExclusive(&g_lock);
        TlsSetValue(g_slot, state);
    }
    SetLastError(lastError);
    return state;
}

extern "C" void* __cxa_get_globals_fast() noexcept { return __cxa_get_globals(); }

extern "C" BOOL WINAPI DllMain([[maybe_unused]] HINSTANCE module, DWORD reason, LPVOID) {
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        g_slot = TlsAlloc();
        return g_slot != TLS_OUT_OF_INDEXES;
    case DLL_THREAD_DETACH:
        if (void* state = TlsGetValue(g_slot)) FreeState(static_cast<ExceptionState*>(state));
        break;
    case DLL_PROCESS_DETACH:
        while (g_states) FreeState(g_states);
        TlsFree(g_slot);
        __gnu_cxx::__freeres();
#if defined(__i386__)
        ReleaseThreadRecord(module);
#endif
        break;
    }
    return TRUE;
}
