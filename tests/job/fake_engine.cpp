// A stand-in for ZIP32.DLL that fails as FAKE_MINOR (the interface's minor version), FAKE_INIT_RESULT (ZpInit's
// result) and FAKE_SET_OPTIONS (whether ZpSetOptions is exported) say.
#include "zip32.h"

#define FAKE_EXPORT extern "C" __declspec(dllexport)

FAKE_EXPORT void ZIP_API ZpVersion(ZipVersionInfo* info) { *info = {sizeof(*info), 0, {}, {}, {}, 2, FAKE_MINOR, {}}; }
FAKE_EXPORT int ZIP_API ZpInit(ZipCallbacks*) { return FAKE_INIT_RESULT; }
#if FAKE_SET_OPTIONS
FAKE_EXPORT int ZIP_API ZpSetOptions(ZipOptions*) { return 1; }
#endif
FAKE_EXPORT int ZIP_API ZpArchive(ZipFileList) { return 0; }
