// What this process holds, for tests that repeat something many times and
// check that it leaves nothing behind. Wine 8 answers 0 to the usual
// questions (PrivateUsage, GetProcessHandleCount, GetGuiResources); where it
// does, each count is taken from what Wine does keep:
// - private bytes: PagefileUsage, the same commit charge on Windows, which
//   Wine fills from the anonymous memory the process holds;
// - kernel handles: the handle values the system still knows (handle values
//   are multiples of 4 and handed out from the lowest free one);
// - GDI objects (link ntdll): the used entries of the process's GDI handle table, which
//   Wine, like Windows, shares with the process through its PEB (a 32-bit
//   program's 64-bit PEB under Wine's WOW64);
// - USER objects: the process's windows, top-level, child and message-only.
#pragma once

#include <windows.h>
#include <psapi.h>
#include <winternl.h>

#include <cstdint>
#include <vector>

namespace process_counts {

inline std::uint64_t PrivateBytes() {
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof counters);
    return counters.PrivateUsage ? counters.PrivateUsage : counters.PagefileUsage;
}

inline unsigned KernelHandles() {
    DWORD count = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &count) && count) return count;
    DWORD flags = 0;
    for (ULONG_PTR value = 4; value < 0x40000; value += 4)
        if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) ++count;
    return count;
}

// Thread-local slots still free: every library that takes one and never
// gives it back brings a process nearer to having none (there are 1,088).
inline unsigned FreeTlsSlots() {
    std::vector<DWORD> taken;
    for (DWORD slot; (slot = TlsAlloc()) != TLS_OUT_OF_INDEXES;) taken.push_back(slot);
    for (DWORD slot : taken) TlsFree(slot);
    return static_cast<unsigned>(taken.size());
}

#ifndef _WIN64
// A 32-bit program under Wine's WOW64 finds Wine's GDI table in its 64-bit
// PEB only: its own TEB holds the 64-bit TEB's address in GdiBatchCount
// (0xF70), that TEB the 64-bit PEB's at 0x60, all below 4 GiB.
inline const unsigned char* WineGdiTableOfWow64() {
    struct {
        NTSTATUS exitStatus;
        const unsigned char* teb;
        CLIENT_ID client;
        KAFFINITY affinity;
        LONG priority, basePriority;
    } thread{};  // THREAD_BASIC_INFORMATION
    NtQueryInformationThread(GetCurrentThread(), ThreadBasicInformation, &thread, sizeof thread, nullptr);
    const std::uint32_t teb64 = thread.teb ? *reinterpret_cast<const std::uint32_t*>(thread.teb + 0xF70) : 0;
    if (!teb64) return nullptr;
    const std::uint64_t peb64 = *reinterpret_cast<const std::uint64_t*>(teb64 + 0x60);
    if (peb64 >> 32) return nullptr;
    const std::uint64_t table = *reinterpret_cast<const std::uint64_t*>(static_cast<std::uintptr_t>(peb64) + 0xF8);
    return table >> 32 ? nullptr : reinterpret_cast<const unsigned char*>(static_cast<std::uintptr_t>(table));
}
#endif

// Wine's GDI handle table, whose address the PEB holds at 0xF8 (0x94 in 32 bits).
inline const unsigned char* WineGdiTable() {
    PROCESS_BASIC_INFORMATION basic{};
    NtQueryInformationProcess(GetCurrentProcess(), ProcessBasicInformation, &basic, sizeof basic, nullptr);
    auto* peb = reinterpret_cast<const unsigned char*>(basic.PebBaseAddress);
    const unsigned char* table = *reinterpret_cast<const unsigned char* const*>(peb + (sizeof(void*) == 8 ? 0xF8 : 0x94));
#ifndef _WIN64
    if (!table) table = WineGdiTableOfWow64();
#endif
    return table;
}

inline unsigned GdiObjects() {
    if (DWORD count = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS)) return count;
    // Wine's table: 65,536 entries of 24 bytes, the object type in byte 14
    // (0 for a free entry).
    const unsigned char* table = WineGdiTable();
    unsigned count = 0;
    for (std::size_t entry = 0; table && entry < 0x10000; ++entry) count += table[entry * 24 + 14] != 0;
    return count;
}

inline BOOL CALLBACK CountWindow(HWND, LPARAM counter) {
    ++*reinterpret_cast<unsigned*>(counter);
    return TRUE;
}

inline BOOL CALLBACK CountOwnWindowAndChildren(HWND window, LPARAM counter) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != GetCurrentProcessId()) return TRUE;
    CountWindow(window, counter);
    EnumChildWindows(window, CountWindow, counter);
    return TRUE;
}

inline unsigned UserObjects() {
    if (DWORD count = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS)) return count;
    unsigned count = 0;
    EnumWindows(CountOwnWindowAndChildren, reinterpret_cast<LPARAM>(&count));
    for (HWND window = nullptr; (window = FindWindowExW(HWND_MESSAGE, window, nullptr, nullptr));)
        CountOwnWindowAndChildren(window, reinterpret_cast<LPARAM>(&count));
    return count;
}

}  // namespace process_counts
