#include "app/archiver_app.h"

#include "app/settings_store.h"
#include "resource.h"
#include "ui/archiver_dlg.h"

#include <commctrl.h>

namespace {

// The settings' profile: values directly in the application's key.
class RegistryProfile : public SettingsProfile {
public:
    explicit RegistryProfile(CAppBase& app) : m_app(app) {}
    int ReadInt(const std::wstring& name, int defaultValue) override {
        return m_app.GetProfileInt(L"", name, defaultValue);
    }
    std::wstring ReadString(const std::wstring& name, const std::wstring& defaultValue) override {
        return m_app.GetProfileString(L"", name, defaultValue);
    }
    void WriteInt(const std::wstring& name, int value) override {
        m_app.WriteProfileInt(L"", name, value);
    }
    void WriteString(const std::wstring& name, const std::wstring& value) override {
        m_app.WriteProfileString(L"", name, value);
    }

private:
    CAppBase& m_app;
};

}  // namespace

bool CArchiverApp::InitInstance() {
    // The controls the dialogs use beyond the standard ones.
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
