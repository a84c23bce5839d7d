#include "framework/message_box.h"

#include "framework/app.h"
#include "framework/dialog.h"

int ShowMessage(const std::wstring& text, HWND owner) {
    CAppBase* app = CAppBase::Current();
    if (!owner && app && app->m_pMainWnd && app->m_pMainWnd->GetSafeHwnd()) {
        owner = GetLastActivePopup(app->m_pMainWnd->GetSafeHwnd());
    }
    std::wstring title = app ? app->AppName() : L"";
    return MessageBoxW(owner, text.c_str(), title.c_str(), MB_OK | MB_ICONEXCLAMATION);
}
