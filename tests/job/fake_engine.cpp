// Small stand-ins for ZIP32.DLL that fail the way the program must report:
// built several times with FAKE_MINOR (interface minor version),
// FAKE_INIT_RESULT (what ZpInit returns) and FAKE_SET_OPTIONS (whether
// ZpSetOptions is exported at all).
#include "zip32.h"

#define FAKE_EXPORT extern "C" __declspec(dllexport)

FAKE_EXPORT void ZIP_API ZpVersion(ZipVersionInfo* info) {
    *info = ZipVersionInfo{};
    info->size = sizeof(ZipVersionInfo);
    info->interfaceMajor = 2;
    info->interfaceMinor = FAKE_MINOR;
}

FAKE_EXPORT int ZIP_API ZpInit(ZipCallbacks*) { return FAKE_INIT_RESULT; }

#if FAKE_SET_OPTIONS
FAKE_EXPORT int ZIP_API ZpSetOptions(ZipOptions*) { return 1; }
#endif

FAKE_EXPORT int ZIP_API ZpArchive(ZipFileList) { return 0; }
