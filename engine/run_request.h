// The request as a run takes it: its strings in UTF-8 and resolved, the
// date limit, the level, and the folder for the temporary archive. A string
// that is neither code page 932 nor marked UTF-8, a path that names nothing
// or a date that is no day makes a bad request, named in the log.
#pragma once

#include "engine_run.h"
#include "messages.h"
#include "platform.h"

#include <cstdint>
#include <string>
#include <vector>

struct RunRequest {
    std::string archiveName;  // UTF-8, as the log names it
    platform::Path archivePath;
    platform::Path root;
    std::vector<std::string> patterns;  // UTF-8
    std::int64_t dateLimit = 0;
    int level = 6;
    platform::Path scratch;  // where the temporary archive and the scratch files go
};

// False, with the problem reported, on a bad request.
bool ReadRequest(const ZipFileList& files, const RequestOptions& options, Reporter& report, RunRequest& request);
