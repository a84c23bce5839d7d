#include "framework/data_exchange.h"

#include "base/local_date.h"
#include "framework/dialog.h"

#include <commctrl.h>

#include <vector>

HWND CDataExchange::Control(int id) const { return m_dialog.GetDlgItem(id); }

std::wstring WindowText(HWND hwnd) {
    int length = GetWindowTextLengthW(hwnd);
    if (length <= 0) return L"";
    std::vector<wchar_t> buffer(static_cast<std::size_t>(length) + 1);
    int copied = GetWindowTextW(hwnd, buffer.data(), length + 1);
    return std::wstring(buffer.data(), copied > 0 ? static_cast<std::size_t>(copied) : 0);
}

std::wstring CControl::Text() const { return WindowText(m_hWnd); }

void ExchangeText(CDataExchange& dx, int id, std::wstring& value) {
    HWND control = dx.Control(id);
    if (dx.m_bSaveAndValidate) {
        value = WindowText(control);
    } else {
        SetWindowTextW(control, value.c_str());
    }
}

void ExchangeCheck(CDataExchange& dx, int id, int& value) {
    HWND control = dx.Control(id);
    if (dx.m_bSaveAndValidate) {
        value = SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0;
    } else {
        SendMessageW(control, BM_SETCHECK, value ? BST_CHECKED : BST_UNCHECKED, 0);
    }
}

void ExchangeRadio(CDataExchange& dx, int firstId, int& value) {
    HWND control = dx.Control(firstId);
    if (!control) return;
    if (dx.m_bSaveAndValidate) value = -1;
    // The group runs from the first button to the next control that starts
    // a group; only radio buttons count.
    int index = 0;
    do {
        if (SendMessageW(control, WM_GETDLGCODE, 0, 0) & DLGC_RADIOBUTTON) {
            if (dx.m_bSaveAndValidate) {
                if (SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED) value = index;
            } else {
                SendMessageW(control, BM_SETCHECK, index == value ? BST_CHECKED : BST_UNCHECKED, 0);
            }
            ++index;
        }
        control = GetWindow(control, GW_HWNDNEXT);
    } while (control && !(GetWindowLongW(control, GWL_STYLE) & WS_GROUP));
}

void ExchangeDate(CDataExchange& dx, int id, std::int64_t& value) {
    HWND picker = dx.Control(id);
    std::optional<LocalDateTime> current = SplitLocalTime(value);
    if (dx.m_bSaveAndValidate) {
        SYSTEMTIME picked{};
        if (SendMessageW(picker, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&picked)) != GDT_VALID) {
            return;
        }
        // The picker edits the date; the time of day stays the member's.
        LocalDateTime changed{picked.wYear, picked.wMonth, picked.wDay, picked.wHour, picked.wMinute,
                              picked.wSecond};
        if (current) {
            changed.hour = current->hour;
            changed.minute = current->minute;
            changed.second = current->second;
        }
        if (std::optional<std::int64_t> time = MakeLocalTime(changed)) value = *time;
    } else if (current) {
        SYSTEMTIME shown{};
        shown.wYear = static_cast<WORD>(current->year);
        shown.wMonth = static_cast<WORD>(current->month);
        shown.wDay = static_cast<WORD>(current->day);
        shown.wHour = static_cast<WORD>(current->hour);
        shown.wMinute = static_cast<WORD>(current->minute);
        shown.wSecond = static_cast<WORD>(current->second);
        SendMessageW(picker, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&shown));
    }
}

void ExchangeControl(CDataExchange& dx, int id, CControl& control) {
    control.m_hWnd = dx.Control(id);
}
