#include "app/archiver_app.h"

#include "app/registry_profile.h"
#include "ui/archiver_dlg.h"

#include <commctrl.h>

bool CArchiverApp::InitInstance() {
    // The common controls the dialogs use: date picker and trackbar.
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_STANDARD_CLASSES | ICC_DATE_CLASSES | ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);

    SetRegistryKey(L"Dremmil");

    CArchiverDlg dlg;
    m_pMainWnd = &dlg;

    RegistryProfile profile(*this);
    LoadSettings(profile, dlg.m_settings);
    dlg.DoModal();
    SaveSettings(profile, dlg.m_settings);

    m_pMainWnd = nullptr;
    return false;
}
