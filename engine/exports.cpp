// The four entry points. The engine keeps the callbacks and a copy of the
// options between the calls of one run; nothing else survives a call.
//
// ZpVersion fills ZipVersionInfo: size 60; flags bit 0 Zip64, bit 1 UTF-8
// names, bit 2 traditional encryption (all set); engineVersion "0.2.4";
// buildDate "YYYY-MM-DD" of the build; zlibVersion zlib's own version text;
// interface version 2.3 in bytes 56 and 57.
#include "engine_run.h"
#include "zip32.h"

#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <string>

#if defined(_WIN32)
#define ZIP_EXPORT
#else
#define ZIP_EXPORT __attribute__((visibility("default")))
#endif

namespace {

ZipCallbacks g_callbacks{};
bool g_initialised = false;
RequestOptions g_options;

void CopyText(char* out, std::size_t capacity, const char* text) {
    std::snprintf(out, capacity, "%s", text);
}

// __DATE__ is "Mmm dd yyyy".
void BuildDate(char* out, std::size_t capacity) {
    static const char kMonths[] = "JanFebMarAprMayJunJulAugSepOctNovDec";
    const char* date = __DATE__;
    int month = static_cast<int>((std::strstr(kMonths, std::string(date, 3).c_str()) - kMonths) / 3) + 1;
    int day = (date[4] == ' ' ? 0 : date[4] - '0') * 10 + (date[5] - '0');
    std::snprintf(out, capacity, "%.4s-%02u-%02u", date + 7, static_cast<unsigned>(month) % 100u,
                  static_cast<unsigned>(day) % 100u);
}

}  // namespace

extern "C" {

ZIP_EXPORT void ZIP_API ZpVersion(ZipVersionInfo* info) {
    if (!info) return;
    std::memset(info, 0, sizeof *info);
    info->size = sizeof *info;
    info->flags = 0x7;
    CopyText(info->engineVersion, sizeof info->engineVersion, "0.2.4");
    BuildDate(info->buildDate, sizeof info->buildDate);
    CopyText(info->zlibVersion, sizeof info->zlibVersion, zlibVersion());
    info->interfaceMajor = kZipInterfaceMajor;
    info->interfaceMinor = kZipInterfaceMinor;
}

ZIP_EXPORT int ZIP_API ZpInit(ZipCallbacks* callbacks) {
    g_initialised = false;
    if (!callbacks || !callbacks->print || !callbacks->comment || !callbacks->password || !callbacks->service)
        return 0;
    g_callbacks = *callbacks;
    g_initialised = true;
    return 1;
}

ZIP_EXPORT int ZIP_API ZpSetOptions(ZipOptions* options) {
    g_options = RequestOptions();
    if (!options) return 0;
    g_options.flags = *options;
    g_options.flags.date = g_options.flags.rootDir = g_options.flags.tempDir = nullptr;
    try {
        if (options->date) g_options.date = options->date;
        if (options->rootDir) g_options.rootDir = options->rootDir;
        if (options->tempDir) g_options.tempDir = options->tempDir;
    } catch (...) {  // no memory for a copy: nothing escapes to the caller
        g_options = RequestOptions();
        return 0;
    }
    g_options.set = true;
    return 1;
}

ZIP_EXPORT int ZIP_API ZpArchive(ZipFileList files) {
    if (!g_initialised || !g_options.set) return ZIP_BAD_REQUEST;
    return RunArchive(g_callbacks, g_options, files);
}

}  // extern "C"
