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

// Wine's GDI handle table: 65,536 entries of 24 bytes, the object type in byte 14 (0 when free). The PEB holds its
// address at 0xF8 (0x94 in 32 bits); a 32-bit program under WOW64 finds it in the 64-bit PEB only, whose TEB its own
// TEB names at 0xF70, all below 4 GiB.
inline const unsigned char* WineGdiTable() {
    PROCESS_BASIC_INFORMATION basic{};
    NtQueryInformationProcess(GetCurrentProcess(), ProcessBasicInformation, &basic, sizeof basic, nullptr);
    auto* peb = reinterpret_cast<const unsigned char*>(basic.PebBaseAddress);
    auto* table = *reinterpret_cast<const unsigned char* const*>(peb + (sizeof(void*) == 8 ? 0xF8 : 0x94));
#ifndef _WIN64
    using Address = std::uintptr_t;
    Address thread[7]{};  // THREAD_BASIC_INFORMATION, the TEB's address second
    NtQueryInformationThread(GetCurrentThread(), ThreadBasicInformation, thread, sizeof thread, nullptr);
    const std::uint32_t teb64 = table || !thread[1] ? 0 : *reinterpret_cast<const std::uint32_t*>(thread[1] + 0xF70);
    const std::uint64_t peb64 = teb64 ? *reinterpret_cast<const std::uint64_t*>(Address(teb64) + 0x60) : 0;
    std::uint64_t table64 = 0;
    if (peb64 && !(peb64 >> 32)) table64 = *reinterpret_cast<const std::uint64_t*>(Address(peb64) + 0xF8);
    if (table64 && !(table64 >> 32)) table = reinterpret_cast<const unsigned char*>(Address(table64));
#endif
    return table;
}

inline unsigned GdiObjects() {
    if (DWORD count = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS)) return count;
    const unsigned char* table = WineGdiTable();
    unsigned count = 0;
    for (std::size_t entry = 0; table && entry < 0x10000; ++entry) count += table[entry * 24 + 14] != 0;
    return count;
}

}  // namespace process_counts
