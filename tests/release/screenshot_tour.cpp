// Takes the README's pictures: runs the real main window in-process, opens
// the options dialog and the About box, archives a few sample files, and
// saves each window as a bitmap (main-window.bmp, options.bmp, about.bmp,
// progress.bmp) in the folder given. scripts/screenshots.sh builds it, runs
// it under Wine and makes PNG files of them.
#include "gui_harness.h"

#include "app/local_date.h"
#include "resource.h"
#include "ui/archiver_dlg.h"

#include <commctrl.h>

#include <filesystem>
#include <fstream>

namespace {

std::vector<BYTE> CaptureWindow(HWND window) {
    RECT frame{};
    GetWindowRect(window, &frame);
    int width = frame.right - frame.left;
    int height = frame.bottom - frame.top;
    std::size_t stride = (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3};
    std::vector<BYTE> pixels(stride * static_cast<std::size_t>(height));

    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        BitBlt(memory, 0, 0, width, height, screen, frame.left, frame.top, SRCCOPY);
        GdiFlush();
        std::memcpy(pixels.data(), bits, pixels.size());
        SelectObject(memory, old);
        DeleteObject(bitmap);
    }
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return pixels;
}

// Saves the window as a 24-bit bitmap once it is fully drawn: two captures
// in a row alike.
bool SaveWindow(HWND window, const std::wstring& path) {
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
    std::vector<BYTE> previous, current;
    gui::WaitUntil([&] {
        previous = std::move(current);
        current = CaptureWindow(window);
        return !current.empty() && current == previous;
    });
    RECT frame{};
    GetWindowRect(window, &frame);
    BITMAPINFOHEADER header{};
    header.biSize = sizeof(header);
    header.biWidth = frame.right - frame.left;
    header.biHeight = frame.bottom - frame.top;
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    header.biSizeImage = static_cast<DWORD>(current.size());
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof(file) + sizeof(header);
    file.bfSize = file.bfOffBits + header.biSizeImage;
    std::ofstream out(std::filesystem::path(path), std::ios::binary);
    out.write(reinterpret_cast<const char*>(&file), sizeof(file));
    out.write(reinterpret_cast<const char*>(&header), sizeof(header));
    out.write(reinterpret_cast<const char*>(current.data()), static_cast<std::streamsize>(current.size()));
    return out.good();
}

void WriteSample(const std::wstring& path, const char* text) {
    std::ofstream(std::filesystem::path(path), std::ios::binary) << text;
}

bool Fail(const char* what) {
    std::fprintf(stderr, "screenshot tour: %s\n", what);
    return false;
}

bool Tour(const std::wstring& outDir) {
    HWND main = gui::WaitForWindow(L"Tirvo");
    if (!main) return Fail("no main window");
    if (!SaveWindow(main, outDir + L"\\main-window.bmp")) return Fail("main window not saved");

    gui::PostClick(main, IDC_OPTIONS);
    HWND options = gui::WaitForWindow(L"オプション Tirvo");
    if (!options) return Fail("no options dialog");
    bool saved = SaveWindow(options, outDir + L"\\options.bmp");
    gui::Click(options, IDCANCEL);
    if (!saved) return Fail("options dialog not saved");
    gui::WaitForWindowGone(options);

    PostMessageW(main, WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
    HWND about = gui::WaitForWindow(L"ﾊﾞｰｼﾞｮﾝ情報 Tirvo");
    if (!about) return Fail("no About box");
    saved = SaveWindow(about, outDir + L"\\about.bmp");
    gui::Click(about, IDOK);
    if (!saved) return Fail("About box not saved");
    gui::WaitForWindowGone(about);

    const std::wstring sample = L"C:\\Tirvo-sample\\";
    gui::PostDrop(main, {sample + L"メモ.txt", sample + L"報告書.txt", sample + L"データ"});
    HWND progress = gui::WaitForWindow(L"進捗状況 Tirvo");
    if (!progress || !gui::WaitUntil([&] { return gui::IsEnabled(progress, IDOK); }))
        return Fail("no finished progress window");
    saved = SaveWindow(progress, outDir + L"\\progress.bmp");
    gui::Click(progress, IDOK);
    gui::WaitForWindowGone(progress);
    gui::PressKey(main, VK_ESCAPE);
    return saved || Fail("progress window not saved");
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: screenshot_tour OUTPUT-FOLDER\n");
        return 2;
    }
    const std::wstring sample = L"C:\\Tirvo-sample\\";
    CreateDirectoryW(sample.c_str(), nullptr);
    CreateDirectoryW((sample + L"データ").c_str(), nullptr);
    WriteSample(sample + L"メモ.txt", "Tirvo sample\r\n");
    WriteSample(sample + L"報告書.txt", "2026-12 report\r\n");
    WriteSample(sample + L"データ\\values.csv", "a,b\r\n1,2\r\n");

    // Keep the pointer off the windows, so that no control is drawn hot.
    SetCursorPos(GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1);
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_STANDARD_CLASSES | ICC_DATE_CLASSES | ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    bool done = false;
    gui::RunWithUser(
        [&] {
            CArchiverApp app(L"TirvoScreenshots");
            CArchiverDlg main;
            main.m_settings.tDate = MakeLocalTime({2000, 12, 29}).value_or(0);
            main.m_settings.stFileName = sample + L"サンプル.zip";
            main.m_settings.bTopMost = 0;
            app.m_pMainWnd = &main;
            main.DoModal();
            app.m_pMainWnd = nullptr;
        },
        [&] { done = Tour(argv[1]); });
    return done ? 0 : 1;
}
