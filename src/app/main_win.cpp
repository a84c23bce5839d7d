// Entry point of Tirvo.exe.
#include "app/archiver_app.h"

#include <windows.h>

namespace {
CArchiverApp theApp;
}

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) { return theApp.Run(); }
