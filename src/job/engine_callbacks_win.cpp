#include "job/engine_callbacks.h"

#include <windows.h>

#include <cstring>
#include <string>
#include <string_view>

#include "base/codepage932.h"
#include "ui/comment_dlg.h"
#include "ui/password_dlg.h"
#include "ui/progress_dlg.h"

namespace {

// Writes text and its terminator into a buffer of capacity bytes; false
// (buffer untouched) when it does not fit.
bool CopyToBuffer(const std::string& text, char* buffer, size_t capacity) {
    if (buffer == nullptr || text.size() + 1 > capacity) return false;
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return true;
}

constexpr ULONGLONG kPumpLimitMs = 20;

}  // namespace

void PumpMessages() {
    // Bounded: while messages come faster than they are handled (a slow
    // repaint on a busy processor), the queue is never empty, and the engine
    // would not get to ask whether Cancel was pressed.
    const ULONGLONG start = GetTickCount64();
    MSG message;
    while (GetTickCount64() - start < kPumpLimitMs && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

std::uint32_t ZIP_API ZipPrint(const char* text, std::uint32_t length) {
    if (g_bShowProgress && text != nullptr) {
        g_pProgressDlg->AppendLog(FromCodePage932(std::string_view(text, strnlen(text, length))));
    }
    PumpMessages();
    return length;
}

int ZIP_API ZipComment(char* comment) {
    CCommentDlg dlg;
    dlg.m_strPrompt = L"enter new zip file comment: ";
    dlg.m_strComment = FromCodePage932(comment);
    const std::wstring shown = dlg.m_strComment;
    switch (dlg.DoModal()) {
        case IDOK:
            // An entry left as shown keeps the comment's own bytes, also
            // those that form no code page 932 character.
            if (dlg.m_strComment != shown)
                CopyToBuffer(ToCodePage932Lossy(dlg.m_strComment), comment, kZipCommentCapacity);
            break;
        case IDCANCEL:
            CopyToBuffer("", comment, kZipCommentCapacity);
            break;
        default:
            break;
    }
    return 1;
}

int ZIP_API ZipPassword(char* password, int capacity, const char* prompt, const char*) {
    if (capacity <= 0) return 0;
    CPasswordDlg dlg;
    dlg.m_strPrompt = FromCodePage932(prompt != nullptr ? prompt : "");
    dlg.m_nMaxEntryBytes = static_cast<size_t>(capacity) - 1;
    switch (dlg.DoModal()) {
        case IDOK:
            CopyToBuffer(ToCodePage932Lossy(dlg.m_strPassword), password,
                         static_cast<size_t>(capacity));
            break;
        case IDCANCEL:
            CopyToBuffer("", password, static_cast<size_t>(capacity));
            break;
        default:
            break;
    }
    return 0;
}

int ZIP_API ZipService(const char*, std::uint32_t) {
    if (!g_bShowProgress) return 0;
    g_pProgressDlg->AppendLog({});  // text kept waiting goes in once its time is up
    return g_pProgressDlg->m_bAbort;
}
