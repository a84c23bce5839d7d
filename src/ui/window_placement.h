// Where a new window goes when windows of its kind are already open.
#pragma once

#include <windows.h>

#include <span>

// Moves window down and right by a title bar's height until no window of
// `open` has its top-left corner where window's is, so that every earlier
// one keeps its title bar in sight; starts again at the work area's
// top-left corner rather than leave the work area.
void PlaceClearOf(HWND window, std::span<const HWND> open);
