// One archive request from start to end: the dropped paths and the current
// settings become the engine's records, the engine runs once on them, and a
// failure of the program's own steps is told in a message box.
#pragma once

#include <string>
#include <vector>

#include "app/settings.h"

void ArchivePaths(const Settings& settings, const std::vector<std::wstring>& paths);
