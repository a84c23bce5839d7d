// Runs the archive engine once for the benchmark, the way the program does:
// loads the library by path, checks the interface version, registers
// callbacks (which print nothing and never cancel), sets the options and
// archives the names under the root. The same source builds natively against
// libzip32.so and with MinGW against ZIP32.DLL for Wine.
//
//   zip32_bench [--level N] [--update] [--quiet] LIBRARY ARCHIVE ROOT NAME...
//
// ROOT ends with the path separator. Prints the engine's status, the seconds
// spent inside ZpArchive, and the process's own CPU time and peak memory
// (under Wine the program is no child of the command that started it, so
// only it can tell); exits with the status (or 100 + a load failure).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#include <psapi.h>
#else
#include <dlfcn.h>
#include <sys/resource.h>
#endif

#include "zip32.h"

namespace {

class Library {
public:
    explicit Library(const char* path) {
#if defined(_WIN32)
        handle_ = LoadLibraryA(path);
#else
        handle_ = dlopen(path, RTLD_NOW | RTLD_LOCAL);
#endif
    }
    ~Library() {
        if (handle_ == nullptr) return;
#if defined(_WIN32)
        FreeLibrary(handle_);
#else
        dlclose(handle_);
#endif
    }
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;

    bool Loaded() const { return handle_ != nullptr; }

    template <class Function>
    Function EntryPoint(const char* name) const {
#if defined(_WIN32)
        return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(handle_, name)));
#else
        return reinterpret_cast<Function>(dlsym(handle_, name));
#endif
    }

private:
#if defined(_WIN32)
    HMODULE handle_ = nullptr;
#else
    void* handle_ = nullptr;
#endif
};

std::uint32_t ZIP_API SilentPrint(const char*, std::uint32_t length) { return length; }
int ZIP_API KeepComment(char*) { return 1; }
int ZIP_API NoPassword(char* password, int capacity, const char*, const char*) {
    if (capacity > 0) password[0] = '\0';
    return 0;
}
int ZIP_API NeverCancel(const char*, std::uint32_t) { return 0; }

struct Arguments {
    char level = '6';
    bool update = false;
    bool quiet = false;
    const char* library = nullptr;
    const char* archive = nullptr;
    const char* root = nullptr;
    std::vector<char*> names;
};

bool Parse(int argc, char** argv, Arguments& args) {
    int i = 1;
    for (; i < argc && std::strncmp(argv[i], "--", 2) == 0; ++i) {
        if (std::strcmp(argv[i], "--level") == 0 && i + 1 < argc && std::strlen(argv[i + 1]) == 1)
            args.level = argv[++i][0];
        else if (std::strcmp(argv[i], "--update") == 0)
            args.update = true;
        else if (std::strcmp(argv[i], "--quiet") == 0)
            args.quiet = true;
        else
            return false;
    }
    if (argc - i < 4) return false;
    args.library = argv[i++];
    args.archive = argv[i++];
    args.root = argv[i++];
    args.names.assign(argv + i, argv + argc);
    return true;
}

// User and system CPU seconds of the whole process, and its largest
// resident set in KiB.
void OwnUsage(double& cpuSeconds, unsigned long long& peakKib) {
#if defined(_WIN32)
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    auto seconds = [](const FILETIME& t) {
        return static_cast<double>((static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e7;
    };
    cpuSeconds = seconds(kernel) + seconds(user);
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
    peakKib = memory.PeakWorkingSetSize / 1024;
#else
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    cpuSeconds = usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    peakKib = static_cast<unsigned long long>(usage.ru_maxrss);
#endif
}

enum LoadFailure { kUsage = 100, kNotLoaded, kEntryMissing, kBadVersion, kInitRefused };

}  // namespace

int main(int argc, char** argv) {
    Arguments args;
    if (!Parse(argc, argv, args)) {
        std::fprintf(stderr, "usage: zip32_bench [--level N] [--update] [--quiet] LIBRARY ARCHIVE ROOT NAME...\n");
        return kUsage;
    }
    const Library library(args.library);
    if (!library.Loaded()) return kNotLoaded;
    const auto zpVersion = library.EntryPoint<ZpVersionFn>("ZpVersion");
    const auto zpInit = library.EntryPoint<ZpInitFn>("ZpInit");
    const auto zpSetOptions = library.EntryPoint<ZpSetOptionsFn>("ZpSetOptions");
    const auto zpArchive = library.EntryPoint<ZpArchiveFn>("ZpArchive");
    if (!zpVersion || !zpInit || !zpSetOptions || !zpArchive) return kEntryMissing;

    ZipVersionInfo version{};
    zpVersion(&version);
    if (version.interfaceMajor != kZipInterfaceMajor || version.interfaceMinor != kZipInterfaceMinor)
        return kBadVersion;
    ZipCallbacks callbacks{&SilentPrint, &KeepComment, &NoPassword, &NeverCancel};
    if (zpInit(&callbacks) == 0) return kInitRefused;

    // The program's default settings: system and hidden files included, a
    // filter date of 1 January 1970 that no filter uses, no work directory.
    ZipOptions options{};
    options.date = "01011970";
    options.rootDir = args.root;
    options.tempDir = "";
    options.systemFiles = 1;
    options.verbose = 1;
    options.quiet = args.quiet ? 1 : 0;
    options.update = args.update ? 1 : 0;
    options.recurse = 1;
    options.level = args.level;

    zpSetOptions(&options);
    const auto start = std::chrono::steady_clock::now();
    const int status = zpArchive(ZipFileList{static_cast<int>(args.names.size()), args.archive, args.names.data()});
    const std::chrono::duration<double> spent = std::chrono::steady_clock::now() - start;
    double cpuSeconds = 0;
    unsigned long long peakKib = 0;
    OwnUsage(cpuSeconds, peakKib);
    std::printf("status %d engine %.3f s (%s, zlib %s) process cpu %.3f s peak %llu KiB\n", status, spent.count(),
                version.engineVersion, version.zlibVersion, cpuSeconds, peakKib);
    return status;
}
