#include "ui/window_placement.h"

#include <algorithm>

void PlaceClearOf(HWND window, std::span<const HWND> open) {
    auto taken = [&](POINT corner) {
        return std::any_of(open.begin(), open.end(), [&](HWND other) {
            RECT rect{};
            return other != window && GetWindowRect(other, &rect) && rect.left == corner.x &&
                   rect.top == corner.y;
        });
    };
    RECT rect{};
    if (!GetWindowRect(window, &rect)) return;
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    if (!GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor)) return;
    const RECT& area = monitor.rcWork;
    const LONG step = GetSystemMetrics(SM_CYCAPTION) + GetSystemMetrics(SM_CYFRAME);
    POINT corner{rect.left, rect.top};
    // Each window of `open` takes at most one place, so one more try than
    // there are windows finds a free one unless the work area is too small.
    for (size_t tries = 0; tries <= open.size() && taken(corner); ++tries) {
        corner.x += step;
        corner.y += step;
        if (corner.x + (rect.right - rect.left) > area.right || corner.y + (rect.bottom - rect.top) > area.bottom)
            corner = {area.left, area.top};
    }
    if (corner.x != rect.left || corner.y != rect.top)
        SetWindowPos(window, nullptr, corner.x, corner.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}
