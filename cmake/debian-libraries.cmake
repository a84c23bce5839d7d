# zlib and libdeflate from Debian's source packages (scripts/install-deps.sh
# unpacks them), built as static libraries with the same flags in the native
# and the Windows builds, so both run the same compressor code. The flags are
# the packages' own release flags (zlib: -O3 and unaligned loads on x86), set
# after the build type's so they win in every build.
set(TIRVO_DEPS_SOURCES /usr/local/src/tirvo-deps CACHE PATH "Debian's zlib and libdeflate sources, unpacked")
set(TIRVO_ZLIB_SOURCE ${TIRVO_DEPS_SOURCES}/zlib)
set(TIRVO_LIBDEFLATE_SOURCE ${TIRVO_DEPS_SOURCES}/libdeflate)
if(NOT EXISTS ${TIRVO_ZLIB_SOURCE}/zlib.h OR NOT EXISTS ${TIRVO_LIBDEFLATE_SOURCE}/libdeflate.h)
  message(FATAL_ERROR "zlib and libdeflate sources missing in ${TIRVO_DEPS_SOURCES}: run scripts/install-deps.sh")
endif()

add_library(tirvo_zlib STATIC
  ${TIRVO_ZLIB_SOURCE}/adler32.c ${TIRVO_ZLIB_SOURCE}/compress.c ${TIRVO_ZLIB_SOURCE}/crc32.c ${TIRVO_ZLIB_SOURCE}/deflate.c
  ${TIRVO_ZLIB_SOURCE}/inffast.c ${TIRVO_ZLIB_SOURCE}/inflate.c ${TIRVO_ZLIB_SOURCE}/inftrees.c
  ${TIRVO_ZLIB_SOURCE}/trees.c ${TIRVO_ZLIB_SOURCE}/zutil.c)
target_include_directories(tirvo_zlib SYSTEM PUBLIC ${TIRVO_ZLIB_SOURCE})
target_compile_definitions(tirvo_zlib PRIVATE _REENTRANT UNALIGNED_OK)
target_compile_options(tirvo_zlib PRIVATE -O3 -w)

add_library(tirvo_libdeflate STATIC
  ${TIRVO_LIBDEFLATE_SOURCE}/lib/deflate_compress.c ${TIRVO_LIBDEFLATE_SOURCE}/lib/utils.c
  ${TIRVO_LIBDEFLATE_SOURCE}/lib/crc32.c ${TIRVO_LIBDEFLATE_SOURCE}/lib/x86/cpu_features.c)
target_include_directories(tirvo_libdeflate SYSTEM PUBLIC ${TIRVO_LIBDEFLATE_SOURCE})
target_compile_options(tirvo_libdeflate PRIVATE -O2 -fomit-frame-pointer -std=c99 -w)

set_target_properties(tirvo_zlib tirvo_libdeflate PROPERTIES POSITION_INDEPENDENT_CODE ON C_VISIBILITY_PRESET hidden)
