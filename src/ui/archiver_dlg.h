// The main window: archive name, operation mode, common options, always on
// top; the drop target for files to archive. It holds the program's Settings
// for the whole run. Every drop is one archive request.
#pragma once

#include "base/settings.h"
#include "framework/dialog.h"

class CArchiverDlg : public CDialogBase {
public:
    CArchiverDlg();

    Settings m_settings;

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange& dx) override;
    void OnDestroy() override;
    std::span<const MessageEntry> MessageTable() const override;

private:
    void OnSysCommand(UINT id, LPARAM lParam);
    void OnPaint();
    HCURSOR OnQueryDragIcon();
    void OnTopMost();
    void OnBrowse();
    void OnChangeFileName();
    void OnOptions();
    void OnDropFiles(HDROP drop);
    std::wstring ArchiveDroppedFiles(HDROP drop);

    void AddAboutItem();
    void AcceptDrops(bool accept);

    HICON m_hIcon;
};
