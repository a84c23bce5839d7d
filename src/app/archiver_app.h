// The application object: start-up, the main window's run, saving settings.
#pragma once

#include "framework/app.h"

class CArchiverApp : public CAppBase {
public:
    // No name: the program file's base name ("Tirvo" for Tirvo.exe).
    explicit CArchiverApp(const wchar_t* appName = nullptr) : CAppBase(appName) {}

    // Loads the settings, runs the main window modally, saves the settings.
    // Returns false: the program ends when the main window has closed.
    bool InitInstance() override;
};
