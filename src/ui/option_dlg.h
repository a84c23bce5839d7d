// The options dialog: the eleven advanced switches, the reference date of the
// date filters, the work directory and the compression level.
//
//   COptionDlg dlg;
//   dlg.nLevel = ...; dlg.tDate = ...; ...      // every value before the run
//   if (dlg.DoModal() == IDOK) take(dlg.nLevel, dlg.tDate, ...);
//
// The dialog works on its members only; the caller copies them in and, after
// OK, back out. Cancel (the button, Escape, the close box) leaves them as the
// last exchange left them, which the caller ignores.
#pragma once

#include "framework/dialog.h"

#include <cstdint>
#include <string>

class COptionDlg : public CDialogBase {
public:
    explicit COptionDlg(HWND parent = nullptr);

    int nLevel = 0;              // 0..9 after OK; the caller sets it before the run
    std::int64_t tDate = 0;      // seconds since 1970; the picker changes only the date
    std::wstring stTempDir;
    int bTemp = 0;
    int bSystem = 0;
    int bVolume = 0;
    int bExtra = 0;
    int bNoDirEntries = 0;
    int bExcludeDate = 0;
    int bIncludeDate = 0;
    int bQuiet = 0;
    int bCRLF_LF = 0;
    int bLF_CRLF = 0;
    int bLatestTime = 0;

protected:
    void DoDataExchange(CDataExchange& dx) override;
    BOOL OnInitDialog() override;
    void OnOK() override;
    std::span<const MessageEntry> MessageTable() const override;

private:
    void OnBrowseFolder();
    void LimitDateToSupportedYears();

    CControl m_sliderLevel;
};
