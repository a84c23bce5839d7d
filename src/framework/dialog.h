// Dialog base: one C++ object per dialog window, built from a template.
//
//   class CMyDlg : public CDialogBase {
//   public:
//       CMyDlg() : CDialogBase(IDD_MY) {}         // owner: see below
//       std::wstring m_strName;
//   protected:
//       void DoDataExchange(CDataExchange& dx) override {
//           ExchangeText(dx, IDC_NAME, m_strName);  // both directions
//       }
//       BOOL OnInitDialog() override {
//           CDialogBase::OnInitDialog();           // members -> controls, centring
//           ...; return TRUE;                      // TRUE: focus to the first tab stop
//       }
//   };
//   CMyDlg dlg; dlg.m_strName = L"x";
//   if (dlg.DoModal() == IDOK) use(dlg.m_strName);  // IDOK, IDCANCEL or -1
//
// Modal runs: DoModal. Modeless: Create() (the object must outlive the
// window; a self-owning dialog deletes itself in PostNcDestroy).
// OK processing (IDOK: the OK button or Enter) reads the controls into the
// members and ends the dialog with IDOK; Cancel processing (IDCANCEL:
// Escape, the close box) ends it with IDCANCEL without reading them. A
// modeless dialog is destroyed instead of ended.
// Owner: the parent given to the constructor; otherwise the application's
// main window (for a modal run, the window most recently active above it),
// and none for the main window itself. A template placed at 0, 0 is centred
// over its owner, or on the screen when it has none.
// Messages and notifications go to handlers through MessageTable()
// (message_table.h); control notifications that arrive while UpdateData is
// exchanging are ignored, so writing a control never runs a handler.
#pragma once

#include <windows.h>

#include "framework/data_exchange.h"
#include "framework/message_table.h"

#include <span>

class CDialogBase {
public:
    explicit CDialogBase(UINT templateId, HWND parent = nullptr);
    virtual ~CDialogBase();
    CDialogBase(const CDialogBase&) = delete;
    CDialogBase& operator=(const CDialogBase&) = delete;

    INT_PTR DoModal();
    bool Create();

    HWND GetSafeHwnd() const { return m_hWnd; }
    HWND GetDlgItem(int id) const;

    // true: controls -> members; false: members -> controls.
    bool UpdateData(bool saveAndValidate = true);

    void EndDialog(INT_PTR result);
    void DestroyWindow();

protected:
    virtual BOOL OnInitDialog();
    virtual void DoDataExchange(CDataExchange& dx);
    virtual void OnOK();
    virtual void OnCancel();
    // WM_DESTROY: the window and its controls still exist.
    virtual void OnDestroy();
    // After the window is gone (m_hWnd is null); may delete the object.
    virtual void PostNcDestroy();
    virtual std::span<const MessageEntry> MessageTable() const;

    // Called inside a handler: the dialog's default processing runs for the
    // current message after the handler returns.
    void Default();

    HWND m_hWnd = nullptr;

private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR Dispatch(UINT message, WPARAM wParam, LPARAM lParam);
    bool RunTableHandler(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& reply);
    HWND OwnerWindow(bool modal) const;
    bool TemplateAtOrigin() const;
    void CenterOverOwner();

    UINT m_templateId;
    HWND m_parent;
    bool m_modal = false;
    bool m_exchanging = false;
    bool m_wantsDefault = false;   // set by Default() in the handler in progress
};
