#include "threads.h"

#include <dlfcn.h>

namespace threads {

void Detach(Thread& thread) {
    // Marked never to be unloaded, whatever dlclose is called (a program
    // linked with the engine is not found by name, and needs nothing).
    static const char kInTheEngine = 0;
    Dl_info info{};
    if (dladdr(&kInTheEngine, &info) && info.dli_fname)
        dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
    thread.detach();
}

}  // namespace threads
