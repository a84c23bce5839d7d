// The main window's advanced-settings button: the options dialog edits a copy
// of fourteen settings, which come back only when it ends with OK.
#include "ui/archiver_dlg.h"
#include "ui/option_dlg.h"

void CArchiverDlg::OnOptions() {
    COptionDlg dlg;
    dlg.tDate = m_settings.tDate;
    dlg.stTempDir = m_settings.stTempDir;
    dlg.bTemp = m_settings.bTemp;
    dlg.bSystem = m_settings.bSystem;
    dlg.bVolume = m_settings.bVolume;
    dlg.bExtra = m_settings.bExtra;
    dlg.bNoDirEntries = m_settings.bNoDirEntries;
    dlg.bExcludeDate = m_settings.bExcludeDate;
    dlg.bIncludeDate = m_settings.bIncludeDate;
    dlg.bQuiet = m_settings.bQuiet;
    dlg.bCRLF_LF = m_settings.bCRLF_LF;
    dlg.bLF_CRLF = m_settings.bLF_CRLF;
    dlg.bLatestTime = m_settings.bLatestTime;
    dlg.nLevel = m_settings.nLevel;

    if (dlg.DoModal() != IDOK) return;

    m_settings.tDate = dlg.tDate;
    m_settings.stTempDir = dlg.stTempDir;
    m_settings.bTemp = dlg.bTemp;
    m_settings.bSystem = dlg.bSystem;
    m_settings.bVolume = dlg.bVolume;
    m_settings.bExtra = dlg.bExtra;
    m_settings.bNoDirEntries = dlg.bNoDirEntries;
    m_settings.bExcludeDate = dlg.bExcludeDate;
    m_settings.bIncludeDate = dlg.bIncludeDate;
    m_settings.bQuiet = dlg.bQuiet;
    m_settings.bCRLF_LF = dlg.bCRLF_LF;
    m_settings.bLF_CRLF = dlg.bLF_CRLF;
    m_settings.bLatestTime = dlg.bLatestTime;
    m_settings.nLevel = dlg.nLevel;
}
