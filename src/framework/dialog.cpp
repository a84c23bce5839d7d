#include "framework/dialog.h"

#include "framework/app.h"

#include <utility>

CDialogBase::CDialogBase(UINT templateId, HWND parent) : m_templateId(templateId), m_parent(parent) {}

CDialogBase::~CDialogBase() {
    if (m_hWnd) {
        // The window outlives its object: detach it so that no message
        // reaches the object any more, then destroy it.
        HWND hwnd = std::exchange(m_hWnd, nullptr);
        SetWindowLongPtrW(hwnd, DWLP_USER, 0);
        ::DestroyWindow(hwnd);
    }
}

namespace {

HINSTANCE ResourceInstance() { return GetModuleHandleW(nullptr); }

// Messages whose result a dialog procedure returns directly instead of
// through DWLP_MSGRESULT.
bool ReturnsResultDirectly(UINT message) {
    switch (message) {
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    case WM_COMPAREITEM:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
    case WM_QUERYDRAGICON:
    case WM_INITDIALOG:
        return true;
    default:
        return false;
    }
}

}  // namespace

HWND CDialogBase::OwnerWindow(bool modal) const {
    if (m_parent) return m_parent;
    CAppBase* app = CAppBase::Current();
    if (!app || !app->m_pMainWnd || app->m_pMainWnd == this) return nullptr;
    HWND main = app->m_pMainWnd->GetSafeHwnd();
    if (!main) return nullptr;
    return modal ? GetLastActivePopup(main) : main;
}

INT_PTR CDialogBase::DoModal() {
    if (m_hWnd) return -1;
    m_modal = true;
    INT_PTR result = DialogBoxParamW(ResourceInstance(), MAKEINTRESOURCEW(m_templateId),
                                     OwnerWindow(true), &DialogProc, reinterpret_cast<LPARAM>(this));
    m_modal = false;
    return result > 0 ? result : -1;
}

bool CDialogBase::Create() {
    if (m_hWnd) return false;
    HWND hwnd = CreateDialogParamW(ResourceInstance(), MAKEINTRESOURCEW(m_templateId),
                                   OwnerWindow(false), &DialogProc, reinterpret_cast<LPARAM>(this));
    return hwnd != nullptr;
}

HWND CDialogBase::GetDlgItem(int id) const { return ::GetDlgItem(m_hWnd, id); }

bool CDialogBase::UpdateData(bool saveAndValidate) {
    if (!m_hWnd) return false;
    CDataExchange dx(*this, saveAndValidate);
    bool wasExchanging = std::exchange(m_exchanging, true);
    DoDataExchange(dx);
    m_exchanging = wasExchanging;
    return true;
}

void CDialogBase::EndDialog(INT_PTR result) {
    if (m_hWnd) ::EndDialog(m_hWnd, result);
}

void CDialogBase::DestroyWindow() {
    if (m_hWnd) ::DestroyWindow(m_hWnd);
}

BOOL CDialogBase::OnInitDialog() {
    UpdateData(false);
    if (TemplateAtOrigin()) CenterOverOwner();
    return TRUE;
}

void CDialogBase::DoDataExchange(CDataExchange&) {}

void CDialogBase::OnOK() {
    if (!UpdateData(true)) return;
    if (m_modal) {
        EndDialog(IDOK);
    } else {
        DestroyWindow();
    }
}

void CDialogBase::OnCancel() {
    if (m_modal) {
        EndDialog(IDCANCEL);
    } else {
        DestroyWindow();
    }
}

void CDialogBase::OnDestroy() {}

void CDialogBase::PostNcDestroy() {}

std::span<const MessageEntry> CDialogBase::MessageTable() const { return {}; }

void CDialogBase::Default() { m_wantsDefault = true; }

bool CDialogBase::TemplateAtOrigin() const {
    HRSRC info = FindResourceW(ResourceInstance(), MAKEINTRESOURCEW(m_templateId), RT_DIALOG);
    HGLOBAL loaded = info ? LoadResource(ResourceInstance(), info) : nullptr;
    const auto* words = loaded ? static_cast<const WORD*>(LockResource(loaded)) : nullptr;
    if (!words || SizeofResource(ResourceInstance(), info) < 22) return false;
    // DLGTEMPLATEEX starts with version 1 and 0xFFFF; x and y follow the
    // help id, both styles and the item count. DLGTEMPLATE has them earlier.
    bool extended = words[0] == 1 && words[1] == 0xFFFF;
    const WORD* position = extended ? words + 9 : words + 5;
    return position[0] == 0 && position[1] == 0;
}

void CDialogBase::CenterOverOwner() {
    RECT window{};
    GetWindowRect(m_hWnd, &window);
    HWND owner = GetWindow(m_hWnd, GW_OWNER);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    GetMonitorInfoW(MonitorFromWindow(owner ? owner : m_hWnd, MONITOR_DEFAULTTOPRIMARY), &monitor);
    RECT area = monitor.rcWork;
    RECT center = area;
    if (owner && IsWindowVisible(owner) && !IsIconic(owner)) GetWindowRect(owner, &center);
    LONG width = window.right - window.left;
    LONG height = window.bottom - window.top;
    LONG x = (center.left + center.right - width) / 2;
    LONG y = (center.top + center.bottom - height) / 2;
    // Keep the whole dialog on the work area when it fits.
    if (x + width > area.right) x = area.right - width;
    if (y + height > area.bottom) y = area.bottom - height;
    if (x < area.left) x = area.left;
    if (y < area.top) y = area.top;
    SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

INT_PTR CALLBACK CDialogBase::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* self = reinterpret_cast<CDialogBase*>(lParam);
        SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
        self->m_hWnd = hwnd;
        return self->OnInitDialog();
    }
    auto* self = reinterpret_cast<CDialogBase*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    if (!self) return FALSE;
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd, DWLP_USER, 0);
        self->m_hWnd = nullptr;
        self->PostNcDestroy();   // may delete the object
        return FALSE;
    }
    return self->Dispatch(message, wParam, lParam);
}

INT_PTR CDialogBase::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
    INT_PTR reply = FALSE;
    if (RunTableHandler(message, wParam, lParam, reply)) return reply;

    switch (message) {
    case WM_COMMAND:
        if (HIWORD(wParam) != BN_CLICKED) return FALSE;
        if (LOWORD(wParam) == IDOK) {
            OnOK();
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            OnCancel();
            return TRUE;
        }
        return FALSE;
    case WM_DESTROY:
        OnDestroy();
        return FALSE;
    default:
        return FALSE;
    }
}

bool CDialogBase::RunTableHandler(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& reply) {
    bool notification = (message == WM_COMMAND && lParam != 0) || message == WM_NOTIFY;
    if (notification && m_exchanging) return false;
    UINT code = 0;
    UINT id = 0;
    if (message == WM_COMMAND) {
        code = HIWORD(wParam);
        id = LOWORD(wParam);
    } else if (message == WM_NOTIFY) {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        code = header->code;
        id = static_cast<UINT>(header->idFrom);
    }
    for (const MessageEntry& entry : MessageTable()) {
        if (entry.message != message || entry.code != code || entry.id != id) continue;
        HWND hwnd = m_hWnd;
        bool outerWantsDefault = std::exchange(m_wantsDefault, false);   // handlers may nest
        LRESULT result = entry.invoke(*this, wParam, lParam);
        // The handler may have destroyed the window, and with it the object.
        if (!IsWindow(hwnd) || GetWindowLongPtrW(hwnd, DWLP_USER) != reinterpret_cast<LONG_PTR>(this)) {
            reply = TRUE;
            return true;
        }
        if (std::exchange(m_wantsDefault, outerWantsDefault)) return false;
        if (ReturnsResultDirectly(message)) {
            reply = static_cast<INT_PTR>(result);
        } else {
            SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, result);
            reply = TRUE;
        }
        return true;
    }
    return false;
}
