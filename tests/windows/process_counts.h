// What this process holds, for tests that repeat something many times. Wine 8 answers 0 to the usual questions;
// there kernel handles are the handle values the system knows and GDI objects the entries of Wine's handle table
// (link ntdll). Private bytes: the commit charge.
#pragma once

#include <windows.h>
#include <psapi.h>
#include <winternl.h>

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

// Wine's GDI handle table: 65,536 entries of 24 bytes, the object type in byte 14 (0 when free); the PEB holds its
// address at 0xF8. (A 32-bit program under WOW64 has it in the 64-bit PEB only: the 64-bit build counts.)
inline const unsigned char* WineGdiTable() {
    PROCESS_BASIC_INFORMATION basic{};
    NtQueryInformationProcess(GetCurrentProcess(), ProcessBasicInformation, &basic, sizeof basic, nullptr);
    return sizeof(void*) == 8 ? *reinterpret_cast<const unsigned char* const*>(
                                    reinterpret_cast<const unsigned char*>(basic.PebBaseAddress) + 0xF8)
                              : nullptr;
}

inline unsigned GdiObjects() {
    if (DWORD count = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS)) return count;
    const unsigned char* table = WineGdiTable();
    unsigned count = 0;
    for (std::size_t entry = 0; table && entry < 0x10000; ++entry) count += table[entry * 24 + 14] != 0;
    return count;
}

}  // namespace process_counts
