// One archive request from start to end: the dropped paths and the current
// settings become the engine's records, and the engine runs once on them.
// Returns the message that tells a failure of the program's own steps, or
// nothing: the caller shows it once its window takes input again, so that
// the system gives the activation back to that window when the message goes.
#pragma once

#include <string>
#include <vector>

#include "base/settings.h"

std::wstring ArchivePaths(const Settings& settings, const std::vector<std::wstring>& paths);
