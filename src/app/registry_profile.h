// The settings' profile in the registry: the application object's profile
// operations with an empty section, so that every value lies directly in
// HKEY_CURRENT_USER\Software\<company>\<application name>. Failing writes
// are ignored.
#pragma once

#include "base/settings_store.h"
#include "framework/app.h"

class RegistryProfile : public SettingsProfile {
public:
    explicit RegistryProfile(CAppBase& app) : m_app(app) {}
    int ReadInt(const std::wstring& name, int defaultValue) override;
    std::wstring ReadString(const std::wstring& name, const std::wstring& defaultValue) override;
    void WriteInt(const std::wstring& name, int value) override;
    void WriteString(const std::wstring& name, const std::wstring& value) override;

private:
    CAppBase& m_app;
};
