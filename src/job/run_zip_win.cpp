#include "job/run_zip.h"

#include <windows.h>

#include "framework/unique_handle.h"
#include "job/engine_callbacks.h"
#include "job/global_block_win.h"
#include "ui/progress_dlg.h"

namespace {

template <class Function>
Function EntryPoint(HMODULE library, const char* name) {
    // Through the generic function pointer type, which any function pointer
    // may be cast from and to.
    return reinterpret_cast<Function>(
        reinterpret_cast<void (*)()>(GetProcAddress(library, name)));
}

}  // namespace

int RunZip(int count, const char* archive, char** names, ZipOptions* options) {
    GlobalBlock callbacksBlock(sizeof(ZipCallbacks));
    if (!callbacksBlock.Allocated()) return RZ_ALLOC_FAILED;
    if (!callbacksBlock.Locked()) return RZ_LOCK_FAILED;
    auto* callbacks = callbacksBlock.As<ZipCallbacks>();
    callbacks->print = &ZipPrint;
    callbacks->comment = &ZipComment;
    callbacks->password = &ZipPassword;
    callbacks->service = &ZipService;

    // From the program's own folder only: never from the current folder,
    // which the file chooser may have moved anywhere, nor from the path.
    const UniqueModule library(LoadLibraryExW(L"ZIP32.DLL", nullptr, LOAD_LIBRARY_SEARCH_APPLICATION_DIR));
    if (!library) return RZ_LOAD_FAILED;
    const auto zpVersion = EntryPoint<ZpVersionFn>(library.Get(), "ZpVersion");
    const auto zpInit = EntryPoint<ZpInitFn>(library.Get(), "ZpInit");
    const auto zpSetOptions = EntryPoint<ZpSetOptionsFn>(library.Get(), "ZpSetOptions");
    const auto zpArchive = EntryPoint<ZpArchiveFn>(library.Get(), "ZpArchive");
    if (!zpVersion || !zpInit || !zpSetOptions || !zpArchive) return RZ_ENTRY_MISSING;

    ZipVersionInfo version{};
    zpVersion(&version);
    if (version.interfaceMajor != kZipInterfaceMajor || version.interfaceMinor != kZipInterfaceMinor)
        return RZ_BAD_VERSION;
    if (zpInit(callbacks) == 0) return RZ_INIT_FAILED;

    OpenProgress(options->quiet == 0 ? 1 : 0);
    zpSetOptions(options);
    const int result = zpArchive(ZipFileList{count, archive, names});
    FinishProgress();
    return result;
}
