// Data exchange between a dialog's controls and its members, one routine for
// both directions. A dialog's DoDataExchange lists its exchanges in order:
//
//   void CMyDlg::DoDataExchange(CDataExchange& dx) {
//       ExchangeControl(dx, IDOK, m_btnOK);        // bind a control wrapper
//       ExchangeCheck(dx, IDC_ENCRYPT, m_bEncrypt); // 0/1
//       ExchangeRadio(dx, IDC_MODE_ADD, m_nMode);   // index in the group, or -1
//       ExchangeText(dx, IDC_FILENAME, m_strName);
//       ExchangeDate(dx, IDC_DATE, m_tDate);        // seconds since 1970, local time
//   }
//
// dx.m_bSaveAndValidate is true for controls -> members, false for members ->
// controls. No exchange here fails; a value a control cannot show is left
// out (an out-of-range radio index checks no button; a date outside the
// supported years leaves the picker as it is, and a picked date outside them
// leaves the member as it is).
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

class CDialogBase;

class CDataExchange {
public:
    CDataExchange(CDialogBase& dialog, bool saveAndValidate)
        : m_dialog(dialog), m_bSaveAndValidate(saveAndValidate) {}
    HWND Control(int id) const;

    CDialogBase& m_dialog;
    const bool m_bSaveAndValidate;
};

// A thin wrapper of a control's window, bound by ExchangeControl.
class CControl {
public:
    HWND GetSafeHwnd() const { return m_hWnd; }
    void Enable(bool enable) const { EnableWindow(m_hWnd, enable ? TRUE : FALSE); }
    void Focus() const { SetFocus(m_hWnd); }
    LRESULT Send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
        return SendMessageW(m_hWnd, message, wParam, lParam);
    }
    std::wstring Text() const;
    void SetText(const std::wstring& text) const { SetWindowTextW(m_hWnd, text.c_str()); }

    HWND m_hWnd = nullptr;
};

// The whole text of a window.
std::wstring WindowText(HWND hwnd);

void ExchangeText(CDataExchange& dx, int id, std::wstring& value);
void ExchangeCheck(CDataExchange& dx, int id, int& value);
void ExchangeRadio(CDataExchange& dx, int firstId, int& value);
void ExchangeDate(CDataExchange& dx, int id, std::int64_t& value);
void ExchangeControl(CDataExchange& dx, int id, CControl& control);
