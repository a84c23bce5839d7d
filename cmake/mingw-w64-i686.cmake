set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(TIRVO_MINGW_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
# A __stdcall function's symbol carries its argument bytes (_ZpInit@4); DLLs
# export it under the plain name, as Windows' own DLLs do.
string(APPEND CMAKE_SHARED_LINKER_FLAGS_INIT " -Wl,--kill-at -Wl,--enable-stdcall-fixup")
# A 64-bit time_t, as on x86-64: with 32 bits the C library's dates end in 2038.
string(APPEND CMAKE_C_FLAGS_INIT " -D__MINGW_USE_VC2005_COMPAT")
string(APPEND CMAKE_CXX_FLAGS_INIT " -D__MINGW_USE_VC2005_COMPAT")
