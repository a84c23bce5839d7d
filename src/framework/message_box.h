// Every message of the program goes through one helper: the program's name
// as title, the warning icon, one OK button.
//
//   ShowMessage(text);                    // owner: see below
//   ShowMessage(text, GetSafeHwnd());
//
// Without an owner the box belongs to the application's main window (the
// window most recently active above it), so that window waits for it.
#pragma once

#include <windows.h>

#include <string>

int ShowMessage(const std::wstring& text, HWND owner = nullptr);
