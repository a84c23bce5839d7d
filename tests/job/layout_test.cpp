// The job's dialogs as the templates lay them out under the Japanese font:
// every caption fits, and the client area has the template's size.
#include <gtest/gtest.h>

#include <vector>

#include "gui_harness.h"
#include "job/engine_callbacks.h"
#include "job_test_support.h"
#include "resource.h"
#include "ui/progress_dlg.h"

namespace {

void ExpectLaidOut(HWND dialog, int width, int height) {
    RECT expected{0, 0, width, height};
    MapDialogRect(dialog, &expected);
    RECT client{};
    GetClientRect(dialog, &client);
    EXPECT_EQ(client.right, expected.right);
    EXPECT_EQ(client.bottom, expected.bottom);
    for (const std::wstring& misfit : gui::CaptionsThatDoNotFit(dialog))
        ADD_FAILURE() << "caption does not fit: " << gui::Utf8(misfit);
}

TEST(JobDialogs, CaptionsFitTheirControls) {
    std::vector<char> comment(kZipCommentCapacity, '\0');
    char password[kZipPasswordCapacity] = {};
    gui::RunWithUser(
        [&] {
            OpenProgress(1);
            ZipPrint("line\r\n", 6);
            HWND progress = g_pProgressDlg->GetSafeHwnd();
            FinishProgress();
            ExpectLaidOut(progress, 234, 149);
            ZipComment(comment.data());
            ZipPassword(password, kZipPasswordCapacity, "Enter password: ", "a.txt");
            DestroyWindow(progress);
        },
        [] {
            for (const wchar_t* caption : {job_test::kCommentCaption, job_test::kPasswordCaption}) {
                HWND prompt = gui::WaitForWindow(caption);
                ASSERT_TRUE(prompt);
                ExpectLaidOut(prompt, 234, 71);
                EXPECT_EQ(gui::Text(gui::Item(prompt, IDC_PROMPT)).find(L"PROMPT"),
                          std::wstring::npos);
                gui::Click(prompt, IDCANCEL);
                gui::WaitForWindowGone(prompt);
            }
        });
}

}  // namespace
