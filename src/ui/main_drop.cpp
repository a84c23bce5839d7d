// The main window's drop handler: every drop is one archive request.
#include "ui/archiver_dlg.h"

#include <shellapi.h>

#include <string>
#include <vector>

#include "framework/message_box.h"
#include "framework/unique_handle.h"
#include "job/archive_job.h"

namespace {

using UniqueDrop = UniqueHandle<HDROP, &DragFinish>;

std::vector<std::wstring> DroppedPaths(HDROP drop) {
    std::vector<std::wstring> paths;
    const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        const UINT length = DragQueryFileW(drop, i, nullptr, 0);
        std::wstring path(length + 1, L'\0');
        path.resize(DragQueryFileW(drop, i, path.data(), length + 1));
        paths.push_back(std::move(path));
    }
    return paths;
}

}  // namespace

// Takes the controls into the settings, releases the drop before the engine
// runs, and archives what it held. Returns the message about the job, if any.
std::wstring CArchiverDlg::ArchiveDroppedFiles(HDROP drop) {
    UniqueDrop ownedDrop(drop);
    UpdateData(true);
    const std::vector<std::wstring> paths = DroppedPaths(drop);
    ownedDrop.Reset();
    return ArchivePaths(m_settings, paths);
}

// The window takes no input for the whole job, so no second drop can start
// a run inside this one. It takes input again before the message about the
// job, which it owns: a disabled owner would leave the activation to
// another program when the message goes.
void CArchiverDlg::OnDropFiles(HDROP drop) {
    EnableWindow(m_hWnd, FALSE);
    const std::wstring message = ArchiveDroppedFiles(drop);
    EnableWindow(m_hWnd, TRUE);
    if (!message.empty()) ShowMessage(message, m_hWnd);
    Default();
}
