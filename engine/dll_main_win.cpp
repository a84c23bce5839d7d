// What the DLL gives back when it is unloaded. The program loads and frees
// the engine on every drop, so what the statically linked C++ runtime keeps
// for the life of a process must go with the DLL: its emergency pool for
// exceptions, 73 KiB taken when the DLL is loaded.
#include <windows.h>

namespace __gnu_cxx {
void __freeres() noexcept;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_DETACH) __gnu_cxx::__freeres();
    return TRUE;
}
