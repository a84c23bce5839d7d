// The class library's dialog base and data exchange, on a dialog of its own.
#include "framework/dialog.h"

#include "app/local_date.h"
#include "framework_test_ids.h"
#include "gui_harness.h"

#include <commctrl.h>

#include <cstdlib>

namespace {

class TestApp : public CAppBase {
public:
    TestApp() : CAppBase(L"TirvoFrameworkTest") {}
    bool InitInstance() override { return false; }
};

class CTestDlg : public CDialogBase {
public:
    explicit CTestDlg(UINT id = IDD_FRAMEWORK_TEST) : CDialogBase(id) {}

    std::wstring m_strText = L"初期値";
    int m_nChoice = 1;
    int m_bCheck = 1;
    std::int64_t m_tDate = *MakeLocalTime({2010, 5, 6, 13, 14, 15});
    CControl m_ok;
    int m_textUpdates = 0;

protected:
    void DoDataExchange(CDataExchange& dx) override {
        ExchangeControl(dx, IDOK, m_ok);
        ExchangeText(dx, IDC_TEST_TEXT, m_strText);
        ExchangeRadio(dx, IDC_TEST_RADIO0, m_nChoice);
        ExchangeCheck(dx, IDC_TEST_CHECK, m_bCheck);
        ExchangeDate(dx, IDC_TEST_DATE, m_tDate);
    }
    std::span<const MessageEntry> MessageTable() const override {
        static const MessageEntry table[] = {OnCommand<&CTestDlg::OnUpdateText>(EN_UPDATE, IDC_TEST_TEXT)};
        return table;
    }

private:
    void OnUpdateText() { ++m_textUpdates; }
};

int g_deletedDialogs = 0;

class CSelfDeletingDlg : public CTestDlg {
protected:
    void PostNcDestroy() override {
        ++g_deletedDialogs;
        delete this;
    }
};

void InitControls() {
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_DATE_CLASSES};
    InitCommonControlsEx(&controls);
}

const wchar_t kCaption[] = L"クラスライブラリ試験";

TEST(DialogBase, OkReadsTheControlsAndEndsWithIdok) {
    InitControls();
    CTestDlg dlg;
    INT_PTR result = 0;
    gui::RunWithUser([&] { result = dlg.DoModal(); },
                     [&] {
                         HWND hwnd = gui::WaitForWindow(kCaption);
                         ASSERT_TRUE(hwnd);
                         EXPECT_EQ(gui::Text(gui::Item(hwnd, IDC_TEST_TEXT)), L"初期値");
                         EXPECT_TRUE(gui::IsChecked(hwnd, IDC_TEST_RADIO1));
                         EXPECT_TRUE(gui::IsChecked(hwnd, IDC_TEST_CHECK));
                         EXPECT_EQ(dlg.m_ok.GetSafeHwnd(), gui::Item(hwnd, IDOK));
                         gui::TypeText(gui::Item(hwnd, IDC_TEST_TEXT), L"新");
                         gui::Click(hwnd, IDC_TEST_RADIO2);
                         gui::Click(hwnd, IDC_TEST_CHECK);
                         gui::PressKey(hwnd, VK_RETURN);
                     });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(dlg.m_strText, L"新");
    EXPECT_EQ(dlg.m_nChoice, 2);
    EXPECT_EQ(dlg.m_bCheck, 0);
    EXPECT_EQ(dlg.GetSafeHwnd(), nullptr);
}

TEST(DialogBase, CancelEndsWithIdcancelWithoutReading) {
    InitControls();
    CTestDlg dlg;
    INT_PTR result = 0;
    gui::RunWithUser([&] { result = dlg.DoModal(); },
                     [&] {
                         HWND hwnd = gui::WaitForWindow(kCaption);
                         ASSERT_TRUE(hwnd);
                         gui::SetText(gui::Item(hwnd, IDC_TEST_TEXT), L"捨てる");
                         gui::Click(hwnd, IDC_TEST_RADIO0);
                         gui::PressKey(hwnd, VK_ESCAPE);
                     });
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(dlg.m_nChoice, 1);
    EXPECT_EQ(dlg.m_strText, L"初期値");
}

TEST(DialogBase, MissingTemplateGivesMinusOne) {
    CTestDlg dlg(4321);
    EXPECT_EQ(dlg.DoModal(), -1);
}

TEST(DialogBase, WritingControlsRunsNoNotificationHandler) {
    InitControls();
    CTestDlg dlg;
    gui::RunWithUser([&] { dlg.DoModal(); },
                     [&] {
                         HWND hwnd = gui::WaitForWindow(kCaption);
                         ASSERT_TRUE(hwnd);
                         EXPECT_EQ(dlg.m_textUpdates, 0);      // initialisation wrote the text
                         gui::TypeText(gui::Item(hwnd, IDC_TEST_TEXT), L"ab");
                         EXPECT_EQ(dlg.m_textUpdates, 2);      // one per typed character
                         gui::PressKey(hwnd, VK_ESCAPE);
                     });
}

TEST(DataExchange, RadioValueOutsideTheGroupChecksNoneAndReadsMinusOne) {
    InitControls();
    for (int stored : {7, -1, 3}) {
        CTestDlg dlg;
        dlg.m_nChoice = stored;
        gui::RunWithUser([&] { dlg.DoModal(); },
                         [&] {
                             HWND hwnd = gui::WaitForWindow(kCaption);
                             ASSERT_TRUE(hwnd);
                             for (int id : {IDC_TEST_RADIO0, IDC_TEST_RADIO1, IDC_TEST_RADIO2}) {
                                 EXPECT_FALSE(gui::IsChecked(hwnd, id)) << stored;
                             }
                             gui::PressKey(hwnd, VK_RETURN);
                         });
        EXPECT_EQ(dlg.m_nChoice, -1) << stored;
    }
}

TEST(DataExchange, DatePickerChangesTheDateAndKeepsTheTimeOfDay) {
    InitControls();
    CTestDlg dlg;
    gui::RunWithUser([&] { dlg.DoModal(); },
                     [&] {
                         HWND hwnd = gui::WaitForWindow(kCaption);
                         ASSERT_TRUE(hwnd);
                         HWND picker = gui::Item(hwnd, IDC_TEST_DATE);
                         SYSTEMTIME shown{};
                         ASSERT_EQ(SendMessageW(picker, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&shown)),
                                   GDT_VALID);
                         EXPECT_EQ(shown.wYear, 2010);
                         EXPECT_EQ(shown.wMonth, 5);
                         EXPECT_EQ(shown.wDay, 6);
                         SYSTEMTIME picked{};
                         picked.wYear = 2011;
                         picked.wMonth = 7;
                         picked.wDay = 8;   // midnight: the picker shows the date only
                         SendMessageW(picker, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&picked));
                         gui::PressKey(hwnd, VK_RETURN);
                     });
    EXPECT_EQ(dlg.m_tDate, *MakeLocalTime({2011, 7, 8, 13, 14, 15}));
}

TEST(DataExchange, DateOutsideTheSupportedYearsLeavesTheMember) {
    InitControls();
    CTestDlg dlg;
    const std::int64_t before = dlg.m_tDate;
    gui::RunWithUser([&] { dlg.DoModal(); },
                     [&] {
                         HWND hwnd = gui::WaitForWindow(kCaption);
                         ASSERT_TRUE(hwnd);
                         SYSTEMTIME picked{};
                         picked.wYear = 1800;
                         picked.wMonth = 1;
                         picked.wDay = 1;
                         SendMessageW(gui::Item(hwnd, IDC_TEST_DATE), DTM_SETSYSTEMTIME, GDT_VALID,
                                      reinterpret_cast<LPARAM>(&picked));
                         gui::PressKey(hwnd, VK_RETURN);
                     });
    EXPECT_EQ(dlg.m_tDate, before);
}

POINT Centre(HWND hwnd) {
    RECT rect{};
    GetWindowRect(hwnd, &rect);
    return {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
}

// Modeless dialogs on this thread: no user needed, every message is sent.
TEST(DialogBase, ModelessDialogsAreOwnedByTheMainWindowAndCentredWhenPlacedAtTheOrigin) {
    InitControls();
    TestApp app;
    CTestDlg main;
    app.m_pMainWnd = &main;
    ASSERT_TRUE(main.Create());
    HWND mainHwnd = main.GetSafeHwnd();
    ShowWindow(mainHwnd, SW_SHOW);
    EXPECT_EQ(GetWindow(mainHwnd, GW_OWNER), nullptr);

    g_deletedDialogs = 0;
    auto* child = new CSelfDeletingDlg;
    ASSERT_TRUE(child->Create());
    HWND childHwnd = child->GetSafeHwnd();
    EXPECT_EQ(GetWindow(childHwnd, GW_OWNER), mainHwnd);
    POINT mainCentre = Centre(mainHwnd);
    POINT childCentre = Centre(childHwnd);
    EXPECT_LE(std::abs(mainCentre.x - childCentre.x), 1);
    EXPECT_LE(std::abs(mainCentre.y - childCentre.y), 1);

    CTestDlg placed(IDD_FRAMEWORK_PLACED);
    ASSERT_TRUE(placed.Create());
    POINT placedCentre = Centre(placed.GetSafeHwnd());
    EXPECT_FALSE(placedCentre.x == mainCentre.x && placedCentre.y == mainCentre.y);
    placed.DestroyWindow();

    // OK on a modeless dialog reads the controls and destroys the window;
    // the self-owning object deletes itself afterwards.
    SendMessageW(childHwnd, WM_COMMAND, IDOK, 0);
    EXPECT_FALSE(IsWindow(childHwnd));
    EXPECT_EQ(g_deletedDialogs, 1);

    // A dialog object that goes away first takes its window with it.
    {
        CTestDlg shortLived;
        ASSERT_TRUE(shortLived.Create());
        HWND hwnd = shortLived.GetSafeHwnd();
        EXPECT_TRUE(IsWindow(hwnd));
        childHwnd = hwnd;
    }
    EXPECT_FALSE(IsWindow(childHwnd));

    main.DestroyWindow();
    app.m_pMainWnd = nullptr;
}

}  // namespace
