// What this process holds, for tests that repeat something many times. Wine 8 answers 0 to the usual questions;
// there kernel handles are the handle values the system knows. Private bytes: the commit charge.
#pragma once

#include <windows.h>
#include <psapi.h>

#include <cstdint>
#include <vector>

namespace process_counts {

inline std::uint64_t PrivateBytes() {
    PROCESS_MEMORY_COUNTERS counters{};
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return counters.PagefileUsage;
}

inline unsigned KernelHandles() {
    DWORD count = 0, flags = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &count) && count) return count;
    for (ULONG_PTR value = 4; value < 0x40000; value += 4)
        count += GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags) ? 1 : 0;
    return count;
}

// Thread-local slots still free (a process has 1,088).
inline unsigned FreeTlsSlots() {
    std::vector<DWORD> taken;
    for (DWORD slot; (slot = TlsAlloc()) != TLS_OUT_OF_INDEXES;) taken.push_back(slot);
    for (DWORD slot : taken) TlsFree(slot);
    return static_cast<unsigned>(taken.size());
}

}  // namespace process_counts
