#include "framework/app.h"

#include "framework/unique_handle.h"

#include <vector>

namespace {

CAppBase* g_currentApp = nullptr;

std::wstring ModuleBaseName() {
    std::vector<wchar_t> path(MAX_PATH);
    for (;;) {
        DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return L"";
        if (length < path.size()) {
            std::wstring name(path.data(), length);
            std::size_t slash = name.find_last_of(L"\\/");
            if (slash != std::wstring::npos) name.erase(0, slash + 1);
            std::size_t dot = name.find_last_of(L'.');
            if (dot != std::wstring::npos && dot > 0) name.erase(dot);
            return name;
        }
        if (path.size() >= 32768) return L"";
        path.resize(path.size() * 2);
    }
}

}  // namespace

CAppBase::CAppBase(const wchar_t* appName) : m_appName(appName ? appName : ModuleBaseName()) {
    g_currentApp = this;
}

CAppBase::~CAppBase() {
    if (g_currentApp == this) g_currentApp = nullptr;
}

CAppBase* CAppBase::Current() { return g_currentApp; }

int CAppBase::Run() {
    InitInstance();
    return 0;
}

HINSTANCE CAppBase::Instance() const { return GetModuleHandleW(nullptr); }

void CAppBase::SetRegistryKey(const std::wstring& company) { m_company = company; }

std::wstring CAppBase::ProfileKeyPath(const std::wstring& section) const {
    if (m_company.empty() || m_appName.empty()) return L"";
    std::wstring path = L"Software\\" + m_company + L"\\" + m_appName;
    if (!section.empty()) path += L"\\" + section;
    return path;
}

int CAppBase::ReadProfileInt(const std::wstring& section, const std::wstring& entry,
                            int defaultValue) const {
    std::wstring key = ProfileKeyPath(section);
    if (key.empty()) return defaultValue;
    DWORD value = 0;
    DWORD size = sizeof(value);
    LSTATUS status = RegGetValueW(HKEY_CURRENT_USER, key.c_str(), entry.c_str(), RRF_RT_REG_DWORD,
                                  nullptr, &value, &size);
    if (status != ERROR_SUCCESS || size != sizeof(value)) return defaultValue;
    return static_cast<int>(value);
}

std::wstring CAppBase::ReadProfileString(const std::wstring& section, const std::wstring& entry,
                                        const std::wstring& defaultValue) const {
    std::wstring key = ProfileKeyPath(section);
    if (key.empty()) return defaultValue;
    // The value may change between asking for its size and reading it; a few
    // attempts are enough, after which it counts as unreadable.
    for (int attempt = 0; attempt < 3; ++attempt) {
        DWORD size = 0;
        LSTATUS status = RegGetValueW(HKEY_CURRENT_USER, key.c_str(), entry.c_str(), RRF_RT_REG_SZ,
                                      nullptr, nullptr, &size);
        if (status != ERROR_SUCCESS) return defaultValue;
        // size counts bytes including the terminator.
        if (size / sizeof(wchar_t) > kMaxProfileString + 1) return defaultValue;
        std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 1);
        DWORD capacity = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
        status = RegGetValueW(HKEY_CURRENT_USER, key.c_str(), entry.c_str(), RRF_RT_REG_SZ, nullptr,
                              buffer.data(), &capacity);
        if (status == ERROR_MORE_DATA) continue;
        if (status != ERROR_SUCCESS) return defaultValue;
        buffer.back() = L'\0';
        std::wstring value(buffer.data());  // up to the first terminator
        if (value.size() > kMaxProfileString) return defaultValue;
        return value;
    }
    return defaultValue;
}

namespace {

bool WriteValue(const std::wstring& keyPath, const std::wstring& entry, DWORD type,
                const void* data, DWORD size) {
    if (keyPath.empty()) return false;
    UniqueHKey key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, keyPath.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_SET_VALUE, nullptr, key.Receive(), nullptr) != ERROR_SUCCESS) {
        return false;
    }
    return RegSetValueExW(key.Get(), entry.c_str(), 0, type, static_cast<const BYTE*>(data), size) ==
           ERROR_SUCCESS;
}

}  // namespace

bool CAppBase::SaveProfileInt(const std::wstring& section, const std::wstring& entry, int value) {
    DWORD data = static_cast<DWORD>(value);
    return WriteValue(ProfileKeyPath(section), entry, REG_DWORD, &data, sizeof(data));
}

bool CAppBase::SaveProfileString(const std::wstring& section, const std::wstring& entry,
                                  const std::wstring& value) {
    std::wstring text(value.c_str());  // a string ends at its first terminator
    if (text.size() > kMaxProfileString) return false;
    DWORD size = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
    return WriteValue(ProfileKeyPath(section), entry, REG_SZ, text.c_str(), size);
}
