// Application object base: one instance per program, with the per-user
// registry profile.
//
//   class CMyApp : public CAppBase {
//       bool InitInstance() override;     // the whole program; false ends it
//   };
//   CMyApp theApp;                        // global; wWinMain calls theApp.Run()
//
//   SetRegistryKey(L"Company");           // profile = HKCU\Software\Company\<AppName>
//   int n = ReadProfileInt(L"", L"nLevel", 6);      // "" = values in the app's key
//   SaveProfileString(L"", L"stFileName", name);  // creates the key on demand
//
// The application name is the program file's base name without extension,
// unless the constructor is given one. Reads fall back to the default when
// the key or value is missing, has another type than asked for (an int is a
// 4-byte REG_DWORD; a string is REG_SZ, or REG_EXPAND_SZ read expanded), or
// a string is longer than kMaxProfileString characters. A string ends at
// its first terminator. Writes report success. (The names differ from the
// Win32 profile functions, which are macros.)
#pragma once

#include <windows.h>

#include <string>

class CDialogBase;

class CAppBase {
public:
    // Profile strings longer than this (the longest path Windows knows) are
    // treated as unreadable and yield the default.
    static constexpr std::size_t kMaxProfileString = 32767;

    explicit CAppBase(const wchar_t* appName = nullptr);
    virtual ~CAppBase();
    CAppBase(const CAppBase&) = delete;
    CAppBase& operator=(const CAppBase&) = delete;

    // The application object of this program (the most recently constructed).
    static CAppBase* Current();

    // Runs the program: InitInstance, then the end. Returns the exit code.
    int Run();
    virtual bool InitInstance() = 0;

    const std::wstring& AppName() const { return m_appName; }
    HINSTANCE Instance() const;

    void SetRegistryKey(const std::wstring& company);
    // The profile's key below HKEY_CURRENT_USER; empty before SetRegistryKey.
    std::wstring ProfileKeyPath(const std::wstring& section) const;

    int ReadProfileInt(const std::wstring& section, const std::wstring& entry, int defaultValue) const;
    std::wstring ReadProfileString(const std::wstring& section, const std::wstring& entry,
                                  const std::wstring& defaultValue) const;
    bool SaveProfileInt(const std::wstring& section, const std::wstring& entry, int value);
    bool SaveProfileString(const std::wstring& section, const std::wstring& entry,
                            const std::wstring& value);

    // The window that owns dialogs opened without an owner, and that the
    // program ends with; null while none is running.
    CDialogBase* m_pMainWnd = nullptr;

private:
    std::wstring m_appName;
    std::wstring m_company;
};
