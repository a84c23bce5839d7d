#include "app/registry_profile.h"

int RegistryProfile::ReadInt(const std::wstring& name, int defaultValue) {
    return m_app.ReadProfileInt(L"", name, defaultValue);
}

std::wstring RegistryProfile::ReadString(const std::wstring& name, const std::wstring& defaultValue) {
    return m_app.ReadProfileString(L"", name, defaultValue);
}

void RegistryProfile::WriteInt(const std::wstring& name, int value) { m_app.SaveProfileInt(L"", name, value); }

void RegistryProfile::WriteString(const std::wstring& name, const std::wstring& value) {
    m_app.SaveProfileString(L"", name, value);
}
