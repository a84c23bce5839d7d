// One archive request from start to end: read the old archive, find the
// files, plan, ask for comment and password, write the temporary archive,
// put it in place atomically, and in move mode delete the originals.
#pragma once

#include "zip32.h"

#include <string>

// The options as ZpSetOptions copies them: the flags, and copies of the
// three strings (the caller frees its own after the run).
struct RequestOptions {
    ZipOptions flags{};          // pointer fields cleared
    std::string date;
    std::string rootDir;
    std::string tempDir;
    bool set = false;
};

int RunArchive(const ZipCallbacks& callbacks, const RequestOptions& options, const ZipFileList& files);
