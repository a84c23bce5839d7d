// The main window: archive name, operation mode, common options, always on
// top; the drop target for files to archive. It holds the program's Settings
// for the whole run.
#pragma once

#include "app/settings.h"
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
    void OnSysCommand(UINT id, LPARAM lParam);   // main_sysmenu.cpp
    void OnPaint();
    HCURSOR OnQueryDragIcon();
    void OnTopMost();
    void OnBrowse();
    void OnChangeFileName();
    void OnOptions();                            // main_options.cpp
    void OnDropFiles(HDROP drop);                // main_drop.cpp
    std::wstring ArchiveDroppedFiles(HDROP drop);  // main_drop.cpp

    void AddAboutItem();
    void AcceptDrops(bool accept);

    HICON m_hIcon;
};
