# The posix thread model gives std::thread; everything is linked statically so
# the two shipped files run on a bare Windows with nothing else installed.
set(CMAKE_C_COMPILER ${TIRVO_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TIRVO_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${TIRVO_MINGW_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${TIRVO_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
